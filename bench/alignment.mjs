// How well the page's text layer lies on the drawn words: per slide, the share
// of the layer's ink (painted black, picture hidden) within 3 px of drawn detail
// in the picture (Sobel edges of the picture alone, layer hidden), at 1280 px.
// The page test imports slideAlignment; run alone it prints every page's figures.
// usage: node bench/alignment.mjs NODE_MODULES_PARENT PAGE.htm...
import { createRequire } from "node:module";
import path from "node:path";
import { pathToFileURL } from "node:url";

// The share of the layer's ink near the picture's edges, from two PNGs (base64)
// of one frame: the layer alone in black, and the picture alone.
function score(ink, pic) {
  const load = (b) => new Promise((r) => { const i = new Image(); i.onload = () => r(i); i.src = "data:image/png;base64," + b; });
  return Promise.all([load(ink), load(pic)]).then(([a, b]) => {
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
  });
}

// The score of every slide with layer text on an open page (its viewport
// 1280 px wide), as [slide number, score]. `calc` is a blank page of the
// same browser that does the arithmetic; `within(promise, ms, what)`, if
// given, puts a deadline on each step.
export async function slideAlignment(page, calc, within = (p) => p) {
  await within(page.evaluate(() => Promise.all(Array.from(document.images, (i) => {
    i.loading = "eager"; return i.complete ? null : new Promise((r) => { i.onload = i.onerror = r; }); }))),
  60000, "loading the pictures");
  const frames = await page.$$("main > section .frame");
  const style = await page.addStyleTag({ content: "/* */" });
  const scores = [];
  for (const [n, frame] of frames.entries()) {
    const hasText = await frame.evaluate((f) => f.querySelector(".layer").textContent.trim().length > 0);
    if (!hasText) continue;
    await style.evaluate((s) => { s.textContent = ".layer, .layer * { color: #000 !important; background: transparent !important; } .frame img { visibility: hidden; } .frame { background: #fff !important; }"; });
    const ink = await within(frame.screenshot({ encoding: "base64" }), 30000, "a screenshot");
    await style.evaluate((s) => { s.textContent = ".layer { visibility: hidden !important; }"; });
    const pic = await within(frame.screenshot({ encoding: "base64" }), 30000, "a screenshot");
    const s = await within(calc.evaluate(score, ink, pic), 30000, "the alignment score");
    if (s !== null) scores.push([n + 1, s]);
  }
  await style.evaluate((s) => s.remove());
  return scores;
}

export const median = (v) => { const s = [...v].sort((x, y) => x - y); return s.length ? s[Math.floor(s.length / 2)] : NaN; };

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
  const require = createRequire(path.join(path.resolve(process.argv[2]), "x.js"));
  const puppeteer = require("puppeteer-core");
  const browser = await puppeteer.launch({ executablePath: "/usr/bin/chromium", headless: true,
    args: ["--no-sandbox", "--disable-gpu", "--allow-file-access-from-files"] });
  const calc = await browser.newPage();
  const all = [];
  for (const file of process.argv.slice(3)) {
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    await page.goto("file://" + path.resolve(file).split(path.sep).map(encodeURIComponent).join("/"), { waitUntil: "load" });
    const per = await slideAlignment(page, calc);
    await page.close();
    all.push(...per.map(([, s]) => s));
    const low = per.filter(([, s]) => s < 0.5).map(([n, s]) => `${n} (${s.toFixed(2)})`);
    console.log(`${path.basename(file)}: ${per.length} slides, median ${median(per.map(([, s]) => s)).toFixed(2)}` +
      (low.length ? `, below 0.5: ${low.join(", ")}` : ""));
  }
  console.log(`ALL: ${all.length} slides, median ${median(all).toFixed(2)}, below 0.5: ${all.filter((x) => x < 0.5).length}, at least 0.7: ${all.filter((x) => x >= 0.7).length}`);
  await browser.close();
}
