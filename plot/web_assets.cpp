// The web site's drawing code and style. The colour scale and the feathers
// of a barb come from the plots' own rules (colormap, wind_barb), written
// into the script as tables, so the pages draw what the plot files draw.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/text.h"
#include "plot/colormap.h"
#include "plot/wind_barb.h"

namespace qv::plot {
namespace {

// 65 steps of the colour scale, as the plots colour their barbs.
std::string colourTable() {
    std::string table = "[";
    for (int i = 0; i <= 64; ++i) {
        const Colour c = scaleColour(i / 64.0);
        const auto byte = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
        table += formatText("%s\"#%02x%02x%02x\"", i ? "," : "", byte(c.r), byte(c.g), byte(c.b));
    }
    return table + "]";
}

// Pennants, full and half barbs for each 5 kt up to 400 kt.
std::string featherTable() {
    std::string table = "[";
    for (int fives = 0; fives <= 80; ++fives) {
        const BarbFeathers f = barbFeathers(fives * 5.0 / kKnotsPerMetrePerSecond);
        table += formatText("%s[%d,%d,%d]", fives ? "," : "", f.pennants, f.fullBarbs, f.halfBarbs);
    }
    return table + "]";
}

const char* kScript = R"JS(
"use strict";
(function () {
  var SVG = "http://www.w3.org/2000/svg";
  var W = 1000, PANEL = 330, LEFT = 78, RIGHT = 92, TOP = 30, BOTTOM = 44, INSET = 16;
  var body = document.body;
  var windMax = parseFloat(body.dataset.windMax || "40");
  var tLow = parseFloat(body.dataset.temperatureLow || "-30");
  var tHigh = parseFloat(body.dataset.temperatureHigh || "40");

  function node(name, attrs, parent) {
    var e = document.createElementNS(SVG, name);
    for (var k in attrs) e.setAttribute(k, attrs[k]);
    if (parent) parent.appendChild(e);
    return e;
  }
  function text(parent, x, y, s, anchor, cls) {
    var t = node("text", {x: x, y: y, "text-anchor": anchor || "middle", "class": cls || ""}, parent);
    t.textContent = s;
    return t;
  }
  function dayMinutes(date) {
    var p = date.split("-");
    return Date.UTC(+p[0], +p[1] - 1, +p[2]) / 60000;
  }
  function pad(n) { return (n < 10 ? "0" : "") + n; }
  function clock(minutes) {
    var d = new Date(minutes * 60000);
    return pad(d.getUTCHours()) + ":" + pad(d.getUTCMinutes());
  }
  function dateText(minutes) { return new Date(minutes * 60000).toISOString().slice(0, 10); }
  function colour(t) {
    var i = Math.round(Math.min(1, Math.max(0, t)) * 64);
    return COLOURS[isFinite(i) ? i : 0];
  }
  function niceStep(span, count) {
    var steps = [50, 100, 200, 250, 500, 1000, 2000, 2500, 5000];
    for (var i = 0; i < steps.length; i++) if (span / steps[i] <= count) return steps[i];
    return 10000;
  }

  // A time-height frame: axes, ticks every 3 hours, altitude in m msl.
  function frame(parent, title, start, end, low, high) {
    var svg = node("svg", {viewBox: "0 0 " + W + " " + PANEL, role: "img"}, parent);
    node("title", {}, svg).textContent = title;
    var f = {svg: svg, x0: LEFT, x1: W - RIGHT, y0: PANEL - BOTTOM, y1: TOP};
    // Barbs at the first and last minutes and gates keep inside the frame.
    var ix = INSET, iy = 0.6 * INSET;
    f.x = function (m) { return f.x0 + ix + (m - start) / (end - start) * (f.x1 - f.x0 - 2 * ix); };
    f.y = function (h) { return f.y0 - iy - (h - low) / (high - low) * (f.y0 - f.y1 - 2 * iy); };
    node("rect", {x: f.x0, y: f.y1, width: f.x1 - f.x0, height: f.y0 - f.y1, "class": "frame"}, svg);
    text(svg, (f.x0 + f.x1) / 2, 18, title, "middle", "title");
    for (var m = Math.ceil(start / 180) * 180; m <= end; m += 180) {
      var x = f.x(m);
      node("line", {x1: x, x2: x, y1: f.y0, y2: f.y0 + 5, "class": "tick"}, svg);
      text(svg, x, f.y0 + 18, clock(m), "middle");
      if (m % 1440 === 0) text(svg, x, f.y0 + 34, dateText(m), "middle", "date");
    }
    var step = niceStep(high - low, 7);
    for (var h = Math.ceil(low / step) * step; h <= high; h += step) {
      var y = f.y(h);
      node("line", {x1: f.x0 - 5, x2: f.x0, y1: y, y2: y, "class": "tick"}, svg);
      text(svg, f.x0 - 8, y + 4, String(h), "end");
    }
    var label = text(svg, 16, (f.y0 + f.y1) / 2, "Altitude (m msl)", "middle");
    label.setAttribute("transform", "rotate(-90 16 " + (f.y0 + f.y1) / 2 + ")");
    return f;
  }

  function colourBar(f, lowValue, highValue, step, unit) {
    var x = W - RIGHT + 22, top = f.y1, bottom = f.y0, n = 64;
    for (var i = 0; i < n; i++) {
      var y = bottom - (i + 1) * (bottom - top) / n;
      node("rect", {x: x, y: y, width: 16, height: (bottom - top) / n + 0.5, fill: COLOURS[i]}, f.svg);
    }
    for (var v = lowValue; v <= highValue + 1e-9; v += step) {
      var yy = bottom - (v - lowValue) / (highValue - lowValue) * (bottom - top);
      text(f.svg, x + 20, yy + 4, (v >= highValue ? "\u2265" : "") + v, "start");
    }
    text(f.svg, x + 8, top - 8, unit, "middle");
  }

  function heightRange(sets) {
    var low = Infinity, high = -Infinity, spacing = Infinity;
    sets.forEach(function (h) {
      for (var i = 0; i < h.length; i++) {
        low = Math.min(low, h[i]); high = Math.max(high, h[i]);
        if (i > 0 && h[i] > h[i - 1]) spacing = Math.min(spacing, h[i] - h[i - 1]);
      }
    });
    if (!isFinite(spacing)) spacing = 100;
    if (!(low <= high)) return null;
    return {low: low - spacing / 2, high: high + spacing / 2, spacing: spacing};
  }

  // Barbs: a staff toward the direction the wind comes from, feathers on
  // the clockwise side (north of the equator), the far end's feathers first.
  function barb(paths, x, y, dir, knots, length, south) {
    var a = dir * Math.PI / 180, sx = Math.sin(a), sy = -Math.cos(a);
    var fx = south ? sy : -sy, fy = south ? -sx : sx;
    var f = FEATHERS[Math.min(FEATHERS.length - 1, Math.round(knots / 5))];
    if (knots === 0) {
      var r = 0.17 * length;
      paths.line += "M" + (x + r) + " " + y + "a" + r + " " + r + " 0 1 0 " + (-2 * r) + " 0a" + r + " " + r + " 0 1 0 " + (2 * r) + " 0";
      return;
    }
    var tx = x + sx * length, ty = y + sy * length, feather = 0.5 * length;
    paths.line += "M" + x.toFixed(1) + " " + y.toFixed(1) + "L" + tx.toFixed(1) + " " + ty.toFixed(1);
    var at = 0;
    for (var p = 0; p < f[0]; p++) {
      var ox = tx - sx * at, oy = ty - sy * at, base = 0.24 * length;
      paths.fill += "M" + ox.toFixed(1) + " " + oy.toFixed(1) + "L" + (ox + fx * feather).toFixed(1) + " " + (oy + fy * feather).toFixed(1) +
        "L" + (tx - sx * (at + base)).toFixed(1) + " " + (ty - sy * (at + base)).toFixed(1) + "Z";
      at += base + 0.06 * length;
    }
    if (f[0] === 0 && f[1] === 0) at = 0.19 * length;
    for (var i = 0; i < f[1] + f[2]; i++) {
      var len = i < f[1] ? feather : feather / 2;
      var bx = tx - sx * at, by = ty - sy * at;
      paths.line += "M" + bx.toFixed(1) + " " + by.toFixed(1) + "L" + (bx + fx * len + sx * 0.25 * len).toFixed(1) + " " + (by + fy * len + sy * 0.25 * len).toFixed(1);
      at += 0.19 * length;
    }
  }

  function drawWinds(el, days, start, end, south) {
    var modes = {};
    days.forEach(function (d) {
      var base = dayMinutes(d.date);
      d.modes.forEach(function (m) {
        var entry = modes[m.mode] || (modes[m.mode] = {mode: m.mode, pulse: m.pulse, minutes: d.minutes, periods: []});
        m.periods.forEach(function (p) {
          var t = base + p[0];
          if (t >= start && t < end) entry.periods.push({t: t, h: p[1], s: p[2], d: p[3], k: p[4]});
        });
      });
    });
    var keys = Object.keys(modes).sort(function (a, b) { return a - b; });
    if (!keys.length) { el.textContent = "No winds in this span."; return; }
    keys.forEach(function (key) {
      var m = modes[key];
      var range = heightRange(m.periods.map(function (p) { return p.h; }));
      var title = "Mode " + m.mode + ": pulse width " + m.pulse + " ns";
      if (!range) { var p = document.createElement("p"); p.textContent = title + ": no valid winds."; el.appendChild(p); return; }
      var f = frame(el, title, start, end, range.low, range.high);
      var length = INSET;
      var periodPx = m.minutes / (end - start) * (f.x1 - f.x0);
      var gatePx = range.spacing / (range.high - range.low) * (f.y0 - f.y1);
      var pStride = Math.max(1, Math.ceil(0.7 * length / periodPx));
      var gStride = Math.max(1, Math.ceil(0.5 * length / gatePx));
      var buckets = {};
      m.periods.forEach(function (p) {
        if (Math.round(p.t / m.minutes) % pStride !== 0) return;
        for (var g = 0; g < p.h.length; g += gStride) {
          var c = colour(p.s[g] / windMax);
          var b = buckets[c] || (buckets[c] = {line: "", fill: ""});
          barb(b, f.x(p.t), f.y(p.h[g]), p.d[g], p.k[g], length, south);
        }
      });
      for (var c in buckets) {
        node("path", {d: buckets[c].line, stroke: c, fill: "none", "class": "barb"}, f.svg);
        if (buckets[c].fill) node("path", {d: buckets[c].fill, fill: c, stroke: "none"}, f.svg);
      }
      colourBar(f, 0, windMax, windMax > 40 ? 20 : 10, "m/s");
    });
  }

  function drawTemperature(el, days, start, end) {
    var periods = [], minutes = 60;
    days.forEach(function (d) {
      var base = dayMinutes(d.date);
      minutes = d.minutes;
      d.periods.forEach(function (p) {
        var t = base + p[0];
        if (t >= start && t < end) periods.push({t: t, h: p[1], tv: p[2], tvc: p[3]});
      });
    });
    var range = heightRange(periods.map(function (p) { return p.h; }));
    if (!range) { el.textContent = "No temperatures in this span."; return; }
    [["Tv", "tv"], ["TvC", "tvc"]].forEach(function (which) {
      var f = frame(el, "Virtual temperature " + which[0] + " (\u00b0C)", start, end, range.low, range.high);
      periods.forEach(function (p) {
        var x0 = f.x(p.t), x1 = f.x(p.t + minutes);
        for (var g = 0; g < p.h.length; g++) {
          var v = p[which[1]][g];
          if (v === null) continue;
          var y0 = f.y(p.h[g] + range.spacing / 2), y1 = f.y(p.h[g] - range.spacing / 2);
          node("rect", {x: x0.toFixed(1), y: y0.toFixed(1), width: Math.max(0.5, x1 - x0).toFixed(1),
            height: Math.max(0.5, y1 - y0).toFixed(1), fill: colour((v - tLow) / (tHigh - tLow))}, f.svg);
        }
      });
      colourBar(f, tLow, tHigh, 10, "\u00b0C");
    });
  }

  function newestWinds(days) {
    var best = null;
    days.forEach(function (d) {
      if (d.kind !== "winds") return;
      d.modes.forEach(function (m) {
        if (!m.latest) return;
        var t = dayMinutes(d.date) + m.latest[0];
        if (!best || t > best.t || (t === best.t && m.mode < best.mode)) best = {t: t, mode: m.mode, rows: m.latest[1], minutes: d.minutes};
      });
    });
    return best;
  }

  function profileTable(table, newest) {
    var heads = ["Height (m msl)", "Speed (m/s)", "Direction (\u00b0)", "u (m/s)", "v (m/s)", "w (m/s)", "QC", "Samples u/v/w"];
    var row = table.insertRow();
    heads.forEach(function (h) { var th = document.createElement("th"); th.textContent = h; row.appendChild(th); });
    newest.rows.slice().reverse().forEach(function (r) {
      var tr = table.insertRow();
      [r[0], r[1].toFixed(1), r[2].toFixed(0), r[3].toFixed(2), r[4].toFixed(2), r[5].toFixed(2), r[6], r[7] + "/" + r[8] + "/" + r[9]]
        .forEach(function (v) { tr.insertCell().textContent = v; });
      if (r[6] !== 0) tr.className = "flagged";
    });
  }

  function span(days) {
    var end = -Infinity, minutes = 60;
    days.forEach(function (d) {
      var base = dayMinutes(d.date);
      minutes = d.minutes;
      var periods = d.kind === "winds" ? [].concat.apply([], d.modes.map(function (m) { return m.periods; })) : d.periods;
      periods.forEach(function (p) { end = Math.max(end, base + p[0] + d.minutes); });
    });
    return {end: end, minutes: minutes};
  }

  var days = QVDAYS;
  var winds = days.filter(function (d) { return d.kind === "winds"; });
  var temps = days.filter(function (d) { return d.kind === "temperature"; });
  var page = body.dataset.page;
  var windsEl = document.getElementById("winds"), tempEl = document.getElementById("temperature");
  if (page === "day") {
    var start = dayMinutes(body.dataset.date);
    if (windsEl) drawWinds(windsEl, winds, start, start + 1440, winds.length > 0 && winds[0].south);
    if (tempEl) drawTemperature(tempEl, temps, start, start + 1440);
    var list = document.getElementById("files");
    days.forEach(function (d) {
      d.files.forEach(function (f) {
        var li = document.createElement("li"), a = document.createElement("a");
        a.href = f; a.textContent = f.split("/").pop(); li.appendChild(a); list.appendChild(li);
      });
    });
  } else if (page === "index" && days.length) {
    var s = span(days);
    if (windsEl) drawWinds(windsEl, winds, s.end - 1440, s.end, winds.length > 0 && winds[0].south);
    if (tempEl) drawTemperature(tempEl, temps, s.end - 1440, s.end);
    var newest = newestWinds(days);
    if (newest) profileTable(document.getElementById("profile"), newest);
    document.getElementById("newest").textContent = "Newest period: " + dateText(s.end - s.minutes) + " " +
      clock(s.end - s.minutes) + " to " + clock(s.end) + " UTC (" + s.minutes + "-minute periods).";
    var age = Date.now() / 60000 - s.end;
    if (age > 3 * s.minutes) {
      var stale = document.getElementById("stale");
      var since = age < 2880 ? (age / 60).toFixed(1) + " hours" : Math.floor(age / 1440) + " days";
      stale.textContent = "Stale: no new period for " + since + " (more than three periods).";
      stale.hidden = false;
    }
  }
})();
)JS";

const char* kStyle = R"CSS(body { font-family: sans-serif; margin: 0 auto; max-width: 1100px; padding: 0 12px; color: #222; }
header { display: flex; flex-wrap: wrap; align-items: baseline; gap: 16px; }
header h1 { font-size: 1.4em; margin: 12px 0 4px; }
nav a { margin-right: 12px; }
h2 { font-size: 1.1em; margin: 18px 0 6px; }
.plot { overflow-x: auto; }
.plot svg { width: 100%; min-width: 720px; height: auto; display: block; background: #fff; }
.plot text { font-size: 13px; fill: #222; }
.plot text.title { font-size: 15px; font-weight: bold; }
.plot text.date { font-size: 12px; fill: #555; }
.plot .frame { fill: #fafafa; stroke: #888; }
.plot .tick { stroke: #888; }
.plot .barb { stroke-width: 1.3; }
.stale { background: #fff1c1; border: 2px solid #c88a00; padding: 8px 12px; font-weight: bold; }
.table { overflow-x: auto; }
table { border-collapse: collapse; font-size: 0.9em; }
th, td { border: 1px solid #ccc; padding: 3px 8px; text-align: right; white-space: nowrap; }
tr.flagged td { color: #999; }
ul.days { columns: 12em; padding-left: 1.2em; }
)CSS";

}  // namespace

std::string siteScript() {
    return "// Quorvane quick-look pages: drawn from the days' data scripts.\nvar COLOURS = " +
           colourTable() + ";\nvar FEATHERS = " + featherTable() + ";" + kScript;
}

std::string siteStyle() { return kStyle; }

}  // namespace qv::plot
