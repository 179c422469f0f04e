"use strict";
// Steering: the previous and next buttons, a horizontal swipe, the arrows,
// Page Up/Down, Home and End move between slides; F or the full-screen
// button shows one slide at a time on the whole screen, where slides hidden
// in the slide show are passed over. Presses that come faster than the page
// scrolls queue up: each moves on from the slide the last one asked for,
// not from wherever the scrolling has got to. The address, the counter and
// the outline follow the slide on screen. "Link" beside each heading copies
// that slide's address. Without this script the page is one long column.
(() => {
  const main = document.querySelector("main");
  const slides = Array.from(document.querySelectorAll("main > section[id^='slide-']"));
  if (!main || !slides.length) return;
  const outline = document.querySelector("nav");
  const entries = slides.map((s) => outline && outline.querySelector(`a[href="#${s.id}"]`));
  const controls = main.querySelector(".controls");
  const counter = controls && controls.querySelector(".count");
  const fullButton = controls && controls.querySelector("[data-go='full']");
  const said = controls && controls.querySelector(".said");
  const moveButtons = controls ? Array.from(controls.querySelectorAll("[data-go='-1'], [data-go='1']")) : [];
  const fullScreen = () => document.fullscreenElement === main;
  let current = Math.max(0, slides.findIndex((s) => "#" + s.id === location.hash));
  // While a scroll this script asked for runs, the slides it passes are not
  // the current one.
  let steering = 0;
  const steer = () => {
    clearTimeout(steering);
    steering = setTimeout(() => { steering = 0; }, 1500);
  };
  document.addEventListener("scrollend", () => {
    if (!steering) return;
    clearTimeout(steering);
    steering = setTimeout(() => { steering = 0; }, 100);
  });

  const keepInOutline = (entry) => {
    if (!entry || outline.scrollHeight <= outline.clientHeight) return;
    const box = outline.getBoundingClientRect(), at = entry.getBoundingClientRect();
    if (at.top < box.top) outline.scrollTop -= box.top - at.top + 8;
    else if (at.bottom > box.bottom) outline.scrollTop += at.bottom - box.bottom + 8;
  };
  const mark = (i, address) => {
    if (entries[current]) entries[current].removeAttribute("aria-current");
    slides[current].classList.remove("on");
    current = i;
    slides[i].classList.add("on");
    if (entries[i]) {
      entries[i].setAttribute("aria-current", "true");
      keepInOutline(entries[i]);
    }
    if (counter) counter.textContent = `${i + 1} / ${slides.length}`;
    for (const b of moveButtons) b.disabled = step(i, Number(b.dataset.go)) === i;
    if (address && location.hash !== "#" + slides[i].id) history.replaceState(null, "", "#" + slides[i].id);
  };
  // The slide `by` steps from `from` (a slide, or one step outside the
  // deck for Home and End); in full screen, the next one the slide show shows.
  const step = (from, by) => {
    let i = from + by;
    if (fullScreen())
      while (i >= 0 && i < slides.length && slides[i].classList.contains("skipped")) i += by;
    return i >= 0 && i < slides.length ? i : current;
  };
  const show = (i) => {
    mark(i, true);
    if (!fullScreen()) {
      steer();
      slides[i].scrollIntoView({ block: "start" });
    }
    slides[i].focus({ preventScroll: true });
  };
  const toggleFullScreen = () => {
    if (fullScreen()) document.exitFullscreen().catch(() => {});
    else if (document.fullscreenEnabled) main.requestFullscreen().catch(() => {});
  };
  document.addEventListener("fullscreenchange", () => {
    if (fullButton) fullButton.textContent = fullScreen() ? "Exit full screen" : "Full screen";
    mark(current, false);
    if (!fullScreen()) {
      steer();
      slides[current].scrollIntoView({ block: "start", behavior: "instant" });
    }
    slides[current].focus({ preventScroll: true });
  });

  if ("IntersectionObserver" in window) {
    const seen = new IntersectionObserver((changes) => {
      if (steering || fullScreen()) return;
      for (const c of changes) {
        const i = slides.indexOf(c.target);
        if (c.isIntersecting && i >= 0 && i !== current) mark(i, true);
      }
    }, { rootMargin: "-45% 0px -45% 0px" });
    slides.forEach((s) => seen.observe(s));
  }
  window.addEventListener("hashchange", () => {
    const i = slides.findIndex((s) => "#" + s.id === location.hash);
    if (i >= 0) {
      steer();
      mark(i, false);
    }
  });

  document.addEventListener("keydown", (e) => {
    if (e.altKey || e.ctrlKey || e.metaKey || e.defaultPrevented) return;
    const t = e.target;
    if (t && (t.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(t.tagName))) return;
    const moves = { ArrowRight: 1, ArrowDown: 1, PageDown: 1, ArrowLeft: -1, ArrowUp: -1, PageUp: -1 };
    if (e.key in moves) show(step(current, moves[e.key]));
    else if (e.key === "Home") show(step(-1, 1));
    else if (e.key === "End") show(step(slides.length, -1));
    else if ((e.key === "f" || e.key === "F") && !e.repeat) toggleFullScreen();
    else if (e.key === "Escape" && fullScreen()) toggleFullScreen();
    else return;
    e.preventDefault();
  });

  // In full screen the controls show while the pointer moves, then fade.
  let resting = 0;
  const wake = () => {
    if (!fullScreen()) return;
    main.classList.add("awake");
    clearTimeout(resting);
    resting = setTimeout(() => main.classList.remove("awake"), 2500);
  };
  main.addEventListener("pointermove", wake, { passive: true });
  main.addEventListener("pointerdown", wake, { passive: true });

  let touch = null;
  main.addEventListener("touchstart", (e) => {
    touch = e.touches.length === 1 ? { x: e.touches[0].clientX, y: e.touches[0].clientY } : null;
  }, { passive: true });
  main.addEventListener("touchend", (e) => {
    if (!touch || e.changedTouches.length !== 1) return;
    const dx = e.changedTouches[0].clientX - touch.x, dy = e.changedTouches[0].clientY - touch.y;
    touch = null;
    if (Math.abs(dx) > 60 && Math.abs(dx) > 2 * Math.abs(dy)) show(step(current, dx < 0 ? 1 : -1));
  }, { passive: true });

  if (controls) {
    controls.hidden = false;
    if (!document.fullscreenEnabled && fullButton) fullButton.hidden = true;
    controls.addEventListener("click", (e) => {
      const go = e.target.closest("button") && e.target.closest("button").dataset.go;
      if (go === "full") toggleFullScreen();
      else if (go) show(step(current, Number(go)));
    });
  }

  for (const link of document.querySelectorAll("a.copy")) {
    link.textContent = "Copy link";
    link.setAttribute("aria-label", "Copy link to slide " + link.hash.replace("#slide-", ""));
    link.addEventListener("click", (e) => {
      if (!navigator.clipboard) return; // the link still goes to its slide
      e.preventDefault();
      const address = location.href.split("#")[0] + link.hash;
      navigator.clipboard.writeText(address).then(() => {
        link.textContent = "Link copied";
        if (said) said.textContent = "Link copied";
        setTimeout(() => {
          link.textContent = "Copy link";
          if (said) said.textContent = "";
        }, 2000);
      }, () => { location.hash = link.hash; });
    });
  }
  mark(current, false);
})();
