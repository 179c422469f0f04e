// How well the page's text layer lies on the drawn words: per slide, the share
// of the layer's ink (painted black, picture hidden) within 3 px of drawn detail
// in the picture (Sobel edges of the picture alone, layer hidden), at 1280 px.
// usage: node bench/alignment.mjs NODE_MODULES_PARENT PAGE.htm...
import { createRequire } from "node:module";
import path from "node:path";
const require = createRequire(path.join(process.argv[2], "x.js"));
const puppeteer = require("puppeteer-core");
const browser = await puppeteer.launch({ executablePath: "/usr/bin/chromium", headless: true,
  args: ["--no-sandbox", "--disable-gpu", "--allow-file-access-from-files"] });
const calc = await browser.newPage();
const scores = [];
for (const file of process.argv.slice(3)) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1280, height: 900 });
  await page.goto("file://" + path.resolve(file).split(path.sep).map(encodeURIComponent).join("/"), { waitUntil: "load" });
  await page.evaluate(() => Promise.all(Array.from(document.images, (i) => {
    i.loading = "eager"; return i.complete ? null : new Promise((r) => { i.onload = i.onerror = r; }); })));
  const frames = await page.$$(".frame");
  const style = await page.addStyleTag({ content: "/* */" });
  const per = [];
  for (const [n, frame] of frames.entries()) {
    const hasText = await frame.evaluate((f) => f.querySelector(".layer").textContent.trim().length > 0);
    if (!hasText) continue;
    await style.evaluate((s) => { s.textContent = ".layer, .layer * { color: #000 !important; background: transparent !important; } .frame img { visibility: hidden; } .frame { background: #fff !important; }"; });
    const ink = await frame.screenshot({ encoding: "base64" });
    await style.evaluate((s) => { s.textContent = ".layer { visibility: hidden !important; }"; });
    const pic = await frame.screenshot({ encoding: "base64" });
    const score = await calc.evaluate(async (ink, pic) => {
      const load = (b) => new Promise((r) => { const i = new Image(); i.onload = () => r(i); i.src = "data:image/png;base64," + b; });
      const [a, b] = [await load(ink), await load(pic)];
      const w = a.width, h = a.height;
      const px = (img) => { const c = document.createElement("canvas"); c.width = w; c.height = h;
        const x = c.getContext("2d"); x.drawImage(img, 0, 0); return x.getImageData(0, 0, w, h).data; };
      const A = px(a), B = px(b);
      const g = new Float32Array(w * h);
      for (let i = 0; i < w * h; i++) g[i] = 0.299 * B[4 * i] + 0.587 * B[4 * i + 1] + 0.114 * B[4 * i + 2];
      const edge = new Uint8Array(w * h);
      for (let y = 1; y < h - 1; y++) for (let x = 1; x < w - 1; x++) {
        const q = (dx, dy) => g[(y + dy) * w + x + dx];
        const gx = q(1, -1) + 2 * q(1, 0) + q(1, 1) - q(-1, -1) - 2 * q(-1, 0) - q(-1, 1);
        const gy = q(-1, 1) + 2 * q(0, 1) + q(1, 1) - q(-1, -1) - 2 * q(0, -1) - q(1, -1);
        if (Math.hypot(gx, gy) > 100) edge[y * w + x] = 1;
      }
      // Dilate by 3 px (square).
      const near = new Uint8Array(w * h);
      for (let y = 0; y < h; y++) for (let x = 0; x < w; x++) if (edge[y * w + x])
        for (let dy = -3; dy <= 3; dy++) for (let dx = -3; dx <= 3; dx++) {
          const yy = y + dy, xx = x + dx; if (yy >= 0 && yy < h && xx >= 0 && xx < w) near[yy * w + xx] = 1; }
      let inkN = 0, hit = 0;
      for (let i = 0; i < w * h; i++) if (A[4 * i] < 128) { inkN++; if (near[i]) hit++; }
      return inkN ? hit / inkN : null;
    }, ink, pic);
    if (score !== null) { per.push(score); scores.push(score); }
  }
  await page.close();
  const med = (v) => { const s = [...v].sort((x, y) => x - y); return s.length ? s[Math.floor(s.length / 2)] : NaN; };
  console.log(`${path.basename(file)}: ${per.length} slides, median ${med(per).toFixed(2)}, min ${Math.min(...per).toFixed(2)}`);
}
const s = [...scores].sort((x, y) => x - y);
console.log(`ALL: ${s.length} slides, median ${s[Math.floor(s.length / 2)].toFixed(2)}, below 0.5: ${s.filter((x) => x < 0.5).length}, at least 0.7: ${s.filter((x) => x >= 0.7).length}`);
await browser.close();
