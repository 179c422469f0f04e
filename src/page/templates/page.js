"use strict";
// Keys: arrows, Page Up/Down, Home and End move between slides; F shows the
// current slide full screen. The address follows the slide on screen.
(() => {
  const slides = Array.from(document.querySelectorAll("main > section[id^='slide-']"));
  if (!slides.length) return;
  let current = Math.max(0, slides.findIndex((s) => "#" + s.id === location.hash));
  const show = (i) => {
    current = Math.max(0, Math.min(slides.length - 1, i));
    const section = slides[current];
    const full = document.fullscreenElement;
    if (full && full.closest("section") !== section) {
      const frame = section.querySelector(".slide");
      if (frame && frame.requestFullscreen) frame.requestFullscreen().catch(() => {});
    }
    section.scrollIntoView({ block: "start" });
    section.focus({ preventScroll: true });
    history.replaceState(null, "", "#" + section.id);
  };
  if ("IntersectionObserver" in window) {
    const seen = new IntersectionObserver((entries) => {
      for (const e of entries) {
        if (!e.isIntersecting) continue;
        const i = slides.indexOf(e.target);
        if (i >= 0 && i !== current) {
          current = i;
          history.replaceState(null, "", "#" + e.target.id);
        }
      }
    }, { rootMargin: "-45% 0px -45% 0px" });
    slides.forEach((s) => seen.observe(s));
  }
  document.addEventListener("keydown", (e) => {
    if (e.altKey || e.ctrlKey || e.metaKey || e.defaultPrevented) return;
    const t = e.target;
    if (t && (t.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(t.tagName))) return;
    const moves = { ArrowRight: 1, ArrowDown: 1, PageDown: 1, ArrowLeft: -1, ArrowUp: -1, PageUp: -1 };
    if (e.key in moves) show(current + moves[e.key]);
    else if (e.key === "Home") show(0);
    else if (e.key === "End") show(slides.length - 1);
    else if ((e.key === "f" || e.key === "F") && !e.repeat) {
      if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
      else {
        const frame = slides[current].querySelector(".slide");
        if (frame && frame.requestFullscreen) frame.requestFullscreen().catch(() => {});
      }
    } else return;
    e.preventDefault();
  });
})();
