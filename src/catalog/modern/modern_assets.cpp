// The modern style's stylesheet and script, written once into the catalog. No framework and
// nothing from outside: the catalog works from a folder, and every link works without script.
#include "catalog/modern/modern_pages.h"

namespace folivant {

const std::string& ModernStylesheet() {
  static const std::string css = R"css(/* Folivant modern page style */
*, *::before, *::after { box-sizing: border-box; }
html { -webkit-text-size-adjust: 100%; text-size-adjust: 100%; }
body { margin: 0; padding: 0 12px; background-color: var(--bg); color: var(--fg);
  font: 16px/1.45 system-ui, -apple-system, "Segoe UI", Roboto, Helvetica, Arial, sans-serif; }
a { color: var(--link); text-underline-offset: 2px; }
a:visited { color: var(--vlink); }
a:active { color: var(--alink); }
a:focus-visible { outline: 3px solid var(--focus); outline-offset: 2px; border-radius: 2px; }
header { text-align: center; margin: 1rem 0; }
h1 { font-size: 1.5rem; margin: 0 0 .25rem; overflow-wrap: anywhere; }
.count, .cap, figcaption, footer { color: var(--muted); }
.count { margin: 0; }
.grid { list-style: none; margin: 0 auto; padding: 0; max-width: 1600px; display: grid; gap: 16px 12px;
  grid-template-columns: repeat(auto-fill, minmax(min(100%, var(--cell, 160px)), 1fr)); }
.grid li { text-align: center; min-width: 0; }
.grid a { display: inline-block; max-width: 100%; }
.grid img { display: block; max-width: 100%; height: auto; margin: 0 auto; border-radius: 3px; }
.cap { margin: .35rem 0 0; font-size: .8rem; overflow-wrap: anywhere; }
nav.pages { text-align: center; margin: 1.5rem 0; }
nav.pages a { display: inline-block; min-width: 44px; padding: .6rem .5rem; }
nav.pages a[aria-current] { font-weight: bold; text-decoration: none; }
.pnav { display: flex; justify-content: space-between; align-items: center; gap: .5rem;
  min-height: 3rem; }
.pnav a { padding: .6rem .4rem; }
.crumbs { text-align: center; margin: .5rem; }
.viewer main { text-align: center; }
.viewer figure { margin: 0; }
.viewer img, .viewer video { width: min(100%, calc((100vh - 8rem) * var(--r))); height: auto; vertical-align: top; }
figcaption { font-size: .85rem; margin: .4rem 0 0; overflow-wrap: anywhere; }
footer { text-align: center; font-size: .8rem; margin: 2rem 0 1rem; }
@media (prefers-reduced-motion: no-preference) { html { scroll-behavior: smooth; } }
)css";
  return css;
}

const std::string& ModernScript() {
  static const std::string js =
      R"js(// Folivant modern page style: keys and swipes follow the page's links; the next picture is
// fetched ahead. Every link works without this script.
(function () {
  'use strict';
  var doc = document;
  function go(id) {
    var a = doc.getElementById(id);
    if (!a || !a.href) return false;
    window.location.href = a.href;
    return true;
  }
  doc.addEventListener('keydown', function (e) {
    if (e.altKey || e.ctrlKey || e.metaKey || e.shiftKey || e.defaultPrevented) return;
    var t = e.target;
    if (t && (t.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(t.tagName))) return;
    var viewer = doc.body.classList.contains('viewer');
    var done = (e.key === 'ArrowLeft' && go('prev')) || (e.key === 'ArrowRight' && go('next')) ||
      (viewer && (e.key === 'Escape' || e.key === 'ArrowUp') && go('up'));
    if (done) e.preventDefault();
  });
  var x0 = null, y0 = 0;
  doc.addEventListener('touchstart', function (e) {
    x0 = e.touches.length === 1 ? e.touches[0].clientX : null;
    if (x0 !== null) y0 = e.touches[0].clientY;
  }, { passive: true });
  doc.addEventListener('touchend', function (e) {
    if (x0 === null || !doc.body.classList.contains('viewer')) return;
    var t = e.changedTouches[0], dx = t.clientX - x0, dy = t.clientY - y0;
    x0 = null;
    if (Math.abs(dx) > 60 && Math.abs(dx) > 2 * Math.abs(dy)) go(dx < 0 ? 'next' : 'prev');
  }, { passive: true });
  window.addEventListener('load', function () {
    var next = doc.getElementById('next');
    var first = next && next.getAttribute('data-fetch');
    if (!first) return;
    var img = new Image();
    img.onerror = function () {
      img.onerror = null;
      img.src = next.getAttribute('data-fallback');
    };
    img.src = first;
  });
})();
)js";
  return js;
}

}  // namespace folivant
