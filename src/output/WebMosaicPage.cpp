// index.html of the web mosaic. The page is the same for every mosaic: what
// differs (size, grid, layout, names) comes from mosaic-cells.js, loaded as a
// script rather than fetched, so that the page works opened from disk. Names
// reach the page only through textContent, never as markup.
//
// A few query parameters serve tests and screenshots: zoom=X,Y,W,H shows
// that rectangle of the mosaic (in its pixels), probe=X,Y[;X,Y...] moves the
// pointer over those mosaic pixels through the viewer's own pointer events
// and writes what the page then shows into the title, find=NAME searches as
// the search box does, and size=W,H gives the viewer a fixed size (a
// headless browser lays the page out smaller than the screenshot it takes).
#include <string_view>

namespace velmora {

std::string_view WebMosaicPage() {
  static constexpr std::string_view kPage = R"html(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta name="generator" content="Velmora">
<title>Photo mosaic</title>
<style>
  html, body { margin: 0; height: 100%; background: #1d1d1d; color: #eee; font: 15px/1.4 sans-serif; }
  #viewer { position: absolute; inset: 0; }
  .panel { position: absolute; z-index: 10; background: rgba(0, 0, 0, 0.72); border-radius: 6px; padding: 6px 10px; }
  #find { top: 8px; right: 8px; display: flex; gap: 8px; align-items: center; }
  #search { width: 16em; font: inherit; padding: 2px 6px; }
  #info { bottom: 8px; left: 8px; max-width: 60%; overflow-wrap: anywhere; }
  #info-name { font-weight: bold; }
  #info-pos { color: #bbb; margin-left: 0.8em; }
  .cell-mark, .cell-hover { pointer-events: none; box-sizing: border-box; }
  .cell-hover { border: 2px solid #fff; outline: 1px solid #000; }
  .cell-mark { background: rgba(255, 196, 0, 0.35); border: 2px solid #ffc400; }
</style>
</head>
<body>
<div id="viewer"></div>
<div id="find" class="panel">
  <input id="search" type="search" list="photos" placeholder="Find a photo by name" autocomplete="off"
         aria-label="Find a photo by name">
  <datalist id="photos"></datalist>
  <span id="found" aria-live="polite"></span>
</div>
<div id="info" class="panel" aria-live="polite"><span id="info-name">Point at a cell or tap it to see its photo.</span><span id="info-pos"></span></div>
<script src="openseadragon/openseadragon.min.js"></script>
<script src="mosaic-cells.js"></script>
<script>
(function () {
  "use strict";
  var m = window.velmoraMosaic;
  var nameEl = document.getElementById("info-name");
  var posEl = document.getElementById("info-pos");
  var search = document.getElementById("search");
  var found = document.getElementById("found");
  if (!m || typeof OpenSeadragon !== "function") {
    nameEl.textContent = "The files of this mosaic (mosaic-cells.js, openseadragon/) are missing beside the page.";
    return;
  }
  if (m.title) document.title = m.title;
  var MARK_LIMIT = 3000;
  function half(v) { return Math.floor(v / 2); }

  // The cell whose slot holds mosaic pixel (px, py), as the program computes
  // it: odd peyote rows lie half a cell left, odd brick columns half a cell
  // up, and the half slot past the last cell belongs to the split first cell.
  function cellAt(px, py) {
    var cw = m.cellWidth, ch = m.cellHeight;
    px = Math.floor(px);
    py = Math.floor(py);
    if (px < 0 || py < 0 || px >= m.columns * cw || py >= m.rows * ch) return null;
    var x = Math.floor(px / cw), y = Math.floor(py / ch);
    if (m.layout === "peyote" && y % 2 === 1) {
      x = Math.floor((px + half(cw)) / cw);
      if (x >= m.columns) x = 0;
    } else if (m.layout === "brick" && x % 2 === 1) {
      y = Math.floor((py + half(ch)) / ch);
      if (y >= m.rows) y = 0;
    }
    return { x: x, y: y };
  }

  // The rectangles a cell's photo covers: two for the split first cell of a
  // shifted row or column.
  function cellPieces(x, y) {
    var cw = m.cellWidth, ch = m.cellHeight, b = m.border;
    var w = Math.max(1, cw - b), h = Math.max(1, ch - b);
    if (m.layout === "peyote" && y % 2 === 1) {
      if (x >= 1) return [[x * cw - half(cw), y * ch, w, h]];
      return [[0, y * ch, Math.max(1, cw - half(cw) - b), h],
              [m.columns * cw - half(cw), y * ch, Math.max(1, half(cw) - half(b)), h]];
    }
    if (m.layout === "brick" && x % 2 === 1) {
      if (y >= 1) return [[x * cw, y * ch - half(ch), w, h]];
      return [[x * cw, 0, w, Math.max(1, ch - half(ch) - b)],
              [x * cw, m.rows * ch - half(ch), w, Math.max(1, half(ch) - half(b))]];
    }
    return [[x * cw, y * ch, w, h]];
  }

  function photoIndex(c) { return m.cells[c.y * m.columns + c.x]; }

  var query = new URLSearchParams(window.location.search);
  function numbers(text) { return text.split(",").map(Number); }
  if (query.get("size")) {
    var size = numbers(query.get("size"));
    var box = document.getElementById("viewer").style;
    box.right = box.bottom = "auto";
    box.width = size[0] + "px";
    box.height = size[1] + "px";
  }

  var viewer = OpenSeadragon({
    id: "viewer",
    prefixUrl: "openseadragon/images/",
    drawer: "canvas",
    showNavigator: true,
    navigatorPosition: "BOTTOM_RIGHT",
    maxZoomPixelRatio: 4,
    visibilityRatio: 0.5,
    tileSources: {
      Image: {
        xmlns: "http://schemas.microsoft.com/deepzoom/2008",
        Url: "mosaic_files/",
        Format: m.tileFormat,
        Overlap: String(m.tileOverlap),
        TileSize: String(m.tileSize),
        Size: { Width: String(m.width), Height: String(m.height) }
      }
    }
  });
  var opened = false;

  function overlay(piece, className) {
    var el = document.createElement("div");
    el.className = className;
    viewer.addOverlay({
      element: el,
      location: viewer.viewport.imageToViewportRectangle(piece[0], piece[1], piece[2], piece[3])
    });
    return el;
  }

  var hoverMarks = [], hovered = null;
  function showCell(c) {
    if (!opened) return;
    if (c && hovered && c.x === hovered.x && c.y === hovered.y) return;
    hoverMarks.forEach(function (el) { viewer.removeOverlay(el); });
    hoverMarks = [];
    hovered = c;
    if (!c) return;
    var i = photoIndex(c);
    nameEl.textContent = i >= 0 ? m.names[i] : "(no photo)";
    posEl.textContent = "column " + (c.x + 1) + ", row " + (c.y + 1);
    hoverMarks = cellPieces(c.x, c.y).map(function (p) { return overlay(p, "cell-hover"); });
  }
  function cellUnder(position) {
    var p = viewer.viewport.viewerElementToImageCoordinates(position);
    return cellAt(p.x, p.y);
  }

  // Hovering shows the cell under the pointer; a tap (touch screens have no
  // hover) shows the cell tapped.
  new OpenSeadragon.MouseTracker({
    element: viewer.container,
    moveHandler: function (e) { showCell(cellUnder(e.position)); },
    leaveHandler: function () { showCell(null); }
  }).setTracking(true);
  viewer.addHandler("canvas-click", function (e) {
    if (e.quick) showCell(cellUnder(e.position));
  });

  var photos = document.getElementById("photos");
  m.names.forEach(function (n) {
    var option = document.createElement("option");
    option.value = n;
    photos.appendChild(option);
  });
  var findMarks = [];
  function findPhoto(text) {
    findMarks.forEach(function (el) { viewer.removeOverlay(el); });
    findMarks = [];
    found.textContent = "";
    var q = text.trim().toLowerCase();
    if (!q || !opened) return;
    var exact = -1, partial = [];
    m.names.forEach(function (n, i) {
      var l = n.toLowerCase();
      if (l === q) exact = i;
      else if (l.indexOf(q) >= 0) partial.push(i);
    });
    var index = exact >= 0 ? exact : partial.length === 1 ? partial[0] : -1;
    if (index < 0) {
      found.textContent = partial.length ? partial.length + " photos match" : "no photo matches";
      return;
    }
    var count = 0;
    for (var y = 0; y < m.rows; ++y)
      for (var x = 0; x < m.columns; ++x) {
        if (m.cells[y * m.columns + x] !== index) continue;
        ++count;
        if (findMarks.length < MARK_LIMIT)
          cellPieces(x, y).forEach(function (p) { findMarks.push(overlay(p, "cell-mark")); });
      }
    found.textContent = count + (count === 1 ? " cell" : " cells") +
        (findMarks.length >= MARK_LIMIT ? " (the first " + MARK_LIMIT + " marked)" : "");
  }
  search.addEventListener("input", function () { findPhoto(search.value); });

  viewer.addHandler("open", function () {
    opened = true;
    var report = [];
    if (query.get("zoom")) {
      var z = numbers(query.get("zoom"));
      if (z.length === 4) viewer.viewport.fitBounds(viewer.viewport.imageToViewportRectangle(z[0], z[1], z[2], z[3]), true);
    }
    if (query.get("find")) {
      search.value = query.get("find");
      findPhoto(search.value);
      report.push("find: " + found.textContent);
    }
    if (query.get("probe")) {
      var box = viewer.container.getBoundingClientRect();
      query.get("probe").split(";").forEach(function (pair) {
        var p = numbers(pair);
        var at = viewer.viewport.imageToViewerElementCoordinates(new OpenSeadragon.Point(p[0] + 0.5, p[1] + 0.5));
        var init = { clientX: box.left + at.x, clientY: box.top + at.y, pointerId: 1, pointerType: "mouse",
                     isPrimary: true, bubbles: true, cancelable: true, view: window };
        ["pointerover", "pointerenter", "pointermove"].forEach(function (type) {
          viewer.canvas.dispatchEvent(new PointerEvent(type, init));
        });
        report.push("probe: " + nameEl.textContent + " @ " + posEl.textContent);
      });
    }
    if (report.length) document.title = report.join(" | ");
  });
})();
</script>
</body>
</html>
)html";
  return kPage;
}

}  // namespace velmora
