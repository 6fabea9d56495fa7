// The page's text. Every text from the host (labels, settings, transcript
// lines) is put in with textContent, never as markup; colours go through
// CSS.supports and style properties, never into a style sheet.
#include "ui/web/page.h"

static const char kPage[] = R"PAGE(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>vesk-host</title>
<style>
:root { --bg:#f4f5f7; --card:#fff; --ink:#1d2330; --dim:#6b7280; --line:#d7dbe2; }
* { box-sizing:border-box; }
body { margin:0; font:14px/1.4 system-ui, sans-serif; background:var(--bg); color:var(--ink); }
header { display:flex; gap:1em; align-items:center; padding:.6em 1em; background:#1d2330; color:#fff; }
header h1 { font-size:1.1em; margin:0; }
#link { margin-left:auto; padding:.15em .6em; border-radius:1em; background:#2e7d32; }
#link.down { background:#b71c1c; }
main { display:grid; grid-template-columns:minmax(320px,1fr) minmax(320px,1fr); gap:1em; padding:1em; }
section { background:var(--card); border:1px solid var(--line); border-radius:6px; padding:.8em 1em; }
section h2 { font-size:1em; margin:0 0 .6em; color:var(--dim); text-transform:uppercase; letter-spacing:.05em; }
#log { grid-column:1 / -1; }
.panel { border:1px solid var(--line); border-radius:6px; padding:.6em; margin-bottom:.8em; }
.panel > .title { font-weight:600; margin-bottom:.4em; }
.control { display:flex; flex-wrap:wrap; gap:.6em; align-items:center; margin:.3em 0; }
.control .name { min-width:8em; color:var(--dim); }
.value { min-width:12em; padding:.45em .8em; border-radius:4px; background:#111; color:#7CFC00;
         font:600 1.3em/1.2 ui-monospace, monospace; white-space:pre; }
.value.stale { color:#bdbdbd; background:#444; outline:2px dashed #ffb300; }
.value.ended { color:#9e9e9e; background:#333; outline:2px solid #757575; }
.sheet { padding:.15em .6em; border-radius:1em; border:1px solid var(--line); font-size:.9em; }
.params { flex-basis:100%; color:var(--dim); font-size:.85em; }
.banner { display:none; padding:.4em .6em; margin-bottom:.6em; border-radius:4px; background:#fff3cd;
          border:1px solid #ffb300; color:#5d4300; }
.banner.on { display:block; }
table { border-collapse:collapse; width:100%; }
th, td { text-align:left; padding:.25em .5em; border-bottom:1px solid var(--line); }
tr.stale td { color:#9e9e9e; font-style:italic; }
.state-connected { color:#2e7d32; } .state-lost, .state-refused { color:#b71c1c; }
.state-connecting { color:#a66b00; } .state-ended { color:#757575; }
#lines { font:12px/1.35 ui-monospace, monospace; white-space:pre-wrap; word-break:break-all;
         max-height:24em; overflow-y:auto; background:#fafafa; border:1px solid var(--line); padding:.4em; }
.empty { color:var(--dim); font-style:italic; }
</style></head>
<body>
<header><h1>vesk-host</h1><span id="script"></span><span id="link" class="down" data-state="lost">connecting</span></header>
<main>
<section id="panels-section"><h2>Panels</h2>
<div id="stale-banner" class="banner">no connection, may be out of date</div>
<div id="panels"><p class="empty">no panel open</p></div></section>
<section id="router"><h2>Router</h2>
<table><thead><tr><th>device</th><th>destination</th><th>source</th><th>name</th></tr></thead>
<tbody id="routes"></tbody></table>
<p id="registrations" class="params"></p>
<h2>Live routers</h2><div id="routers"><p class="empty">none</p></div></section>
<section id="log"><h2>Transcript</h2><div id="lines"></div></section>
</main>
<script>
'use strict';
const byId = (id) => document.getElementById(id);
// An element of class `cls` holding `parts` in order: a string as text
// (never markup), a node (a label) as it is.
function el(tag, cls, ...parts) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  for (const part of parts) if (part !== undefined && part !== null) e.append(part instanceof Node ? part : String(part));
  return e;
}
// A text from the host (a label, a name, a value), isolated from what is
// around it: bidirectional controls in it cannot reorder its neighbours.
function label(text, cls) { return el('bdi', cls, text); }
function param(control, key) {
  for (const [k, v] of control.params) if (k === key) return v;
  return null;
}
// Dark or light text on a background colour the browser has accepted.
function inkOn(colour) {
  const probe = el('span'); probe.style.color = colour; document.body.appendChild(probe);
  const rgb = getComputedStyle(probe).color.match(/\d+/g) || [0, 0, 0];
  probe.remove();
  return (0.299 * rgb[0] + 0.587 * rgb[1] + 0.114 * rgb[2]) > 150 ? '#000' : '#fff';
}
// Why what is shown may not be the present: a router down (stale), or an
// end: the script's ('script'), vesk-host's ('host': it said goodbye), or
// vesk-host gone without a word ('lost').
const NOTICE = {
  stale: 'no connection, may be out of date',
  script: 'the script has ended: this is its final state',
  host: 'vesk-host has ended: this is the last state it showed',
  lost: 'vesk-host is not reachable: this is the last state it showed',
};
function drawControl(control, mark, why) {
  const row = el('div', 'control'); row.dataset.control = control.name;
  row.appendChild(label(control.name, 'name'));
  const text = param(control, 'text');
  if (control.kind === 'text' || text !== null) {
    const value = label(text === null ? '' : text, 'value' + (mark ? ' ' + mark : ''));
    if (mark) value.title = NOTICE[why];
    row.appendChild(value);
  }
  const sheet = param(control, 'statesheet');
  if (sheet) {
    const chip = label(sheet, 'sheet'); chip.dataset.sheet = sheet;
    if (control.colour && CSS.supports('color', control.colour)) {
      chip.style.backgroundColor = control.colour; chip.style.color = inkOn(control.colour);
    }
    row.appendChild(chip);
  }
  const params = el('span', 'params', 'kind ', label(control.kind));
  for (const [k, v] of control.params) if (k !== 'text' && k !== 'statesheet') params.append(', ', label(k), ' = ', label(v));
  row.appendChild(params);
  return row;
}
function drawPanels(view, ended) {
  const box = byId('panels'); box.replaceChildren();
  if (!view.panels.length) box.appendChild(el('p', 'empty', 'no panel open'));
  const mark = ended ? 'ended' : view.stale ? 'stale' : '';
  for (const panel of view.panels) {
    const card = el('div', 'panel'); card.dataset.panel = panel.name;
    const title = el('div', 'title', 'panel ', label(panel.name));
    if (panel.title !== panel.name) title.append(' (', label(panel.title), ')');
    card.appendChild(title);
    for (const control of panel.controls) card.appendChild(drawControl(control, mark, ended || 'stale'));
    box.appendChild(card);
  }
  const banner = byId('stale-banner');
  banner.textContent = NOTICE[ended || 'stale'];
  banner.classList.toggle('on', Boolean(ended) || view.stale);
}
function drawRouter(view, ended) {
  const body = byId('routes'); body.replaceChildren();
  for (const r of view.routes) {
    const tr = el('tr', r.stale || ended ? 'stale' : '');
    tr.dataset.device = r.device; tr.dataset.destination = r.destination;
    for (const v of [r.device, r.destination, r.source]) tr.appendChild(el('td', '', v));
    tr.appendChild(el('td', '', label(r.name)));
    if (r.stale || ended) tr.title = NOTICE[ended || 'stale'];
    body.appendChild(tr);
  }
  byId('registrations').textContent = view.registrations.length ? 'registered: ' + view.registrations.map(
    (g) => 'device ' + g.device + ' ' + g.ranges.map(([a, b]) => a === b ? a : a + '-' + b).join(', ')).join('; ') : '';
  const routers = byId('routers'); routers.replaceChildren();
  if (!view.routers.length) routers.appendChild(el('p', 'empty', 'none'));
  for (const r of view.routers) {
    const state = ended ? 'ended' : r.state;
    const line = el('div', 'router state-' + state, 'device ' + r.device + ': ', label(r.address), ', ' + state);
    if (r.why && !ended) line.append(' (', label(r.why), ')');
    line.dataset.device = r.device; line.dataset.state = state;
    routers.appendChild(line);
  }
}
// The view last received, and why it is no longer the present (see NOTICE;
// null: it is, unless the view itself says its script ended).
let shown = null;
let ending = null;
function draw() {
  if (!shown) return;
  const ended = ending || (shown.ended ? 'script' : null);
  byId('script').replaceChildren(...(shown.script === null ? [] : [label(shown.script)]), ended ? ' (ended)' : '');
  drawPanels(shown, ended); drawRouter(shown, ended);
  document.body.dataset.stale = shown.stale;
  document.body.dataset.ended = ended || '';
}
let lastLine = -1;
function addLines(msg) {
  const box = byId('lines');
  const atEnd = box.scrollTop + box.clientHeight >= box.scrollHeight - 4;
  msg.lines.forEach((text, i) => {
    if (msg.first + i <= lastLine) return;
    lastLine = msg.first + i;
    box.appendChild(el('div', 'line', text));
  });
  while (box.childElementCount > 200) box.firstElementChild.remove();
  if (atEnd) box.scrollTop = box.scrollHeight;
}
function setLink(state) {
  const link = byId('link');
  link.textContent = state === 'live' ? 'live' : state === 'host' ? 'vesk-host has ended, connecting again'
                                                                  : 'vesk-host not reachable, connecting again';
  link.classList.toggle('down', state !== 'live');
  link.dataset.state = state;
}
let retry = 250;
function connect() {
  const ws = new WebSocket('ws://' + location.host + '/events');
  ws.onopen = () => { retry = 250; ending = null; setLink('live'); byId('lines').replaceChildren(); lastLine = -1; };
  ws.onmessage = (m) => {
    let msg;
    try { msg = JSON.parse(m.data); } catch (e) { return; }
    if (msg.kind === 'view') { shown = msg; draw(); }
    else if (msg.kind === 'lines') addLines(msg);
  };
  ws.onclose = (e) => {
    // 1001 (going away): vesk-host ended and said so; other codes: it went
    // missing, or is not back yet.
    ending = e.code === 1001 ? 'host' : ending || 'lost';
    setLink(ending); draw();
    setTimeout(connect, retry);
    retry = Math.min(retry * 2, 3000);
  };
}
connect();
</script>
</body></html>
)PAGE";

const char* webPage() { return kPage; }
