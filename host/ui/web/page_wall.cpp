// The wall's styles and script. Names, mimic texts and state sheets go in
// with textContent (through label(): a <bdi> each), the title attribute and
// data attributes, never as markup; a colour goes through CSS.supports and a
// style property.
#include "ui/web/page_wall.h"

static const char kStyle[] = R"WALL(
#wall-section { grid-column:1 / -1; }
#wall-section[hidden] { display:none; }
.wall-bar { display:flex; flex-wrap:wrap; gap:1em; align-items:center; margin-bottom:.6em; }
#filter { font:inherit; padding:.3em .6em; border:1px solid var(--line); border-radius:4px; min-width:16em; }
#wall-count { color:var(--dim); }
#panels-of { text-transform:none; letter-spacing:normal; }
#wall { --tile-w:160px; display:grid; gap:6px; align-content:start; overflow-y:auto; padding:2px;
        grid-template-columns:repeat(auto-fill, minmax(var(--tile-w), 1fr));
        grid-auto-rows:calc(var(--tile-w) / 2.4); }
.tile { position:relative; display:flex; flex-direction:column; justify-content:center; min-width:0;
        overflow:hidden; padding:.15em .5em; border-radius:4px; background:#111; border-top:.45em solid #424242;
        font-size:max(11px, calc(var(--tile-w) / 11)); contain:strict; }
.tile[hidden] { display:none; }
.tile .tname { display:block; color:#bdbdbd; font-size:.8em; white-space:nowrap; overflow:hidden;
               text-overflow:ellipsis; }
.tile .ttext { display:block; color:#7CFC00; font:600 1em/1.25 ui-monospace, monospace; white-space:pre;
               overflow:hidden; text-overflow:ellipsis; }
.tile .ttext.none { color:#757575; font-style:italic; font-weight:400; }
.tile .tmark { display:none; position:absolute; top:.2em; right:.35em; padding:0 .45em; border-radius:.6em;
               background:#ffb300; color:#1d2330; font-size:.62em; }
.tile.stale { outline:2px dashed #ffb300; outline-offset:-2px; }
.tile.stale .ttext { color:#bdbdbd; }
.tile.stale .tmark { display:block; }
.tile.current { box-shadow:0 0 0 2px #1e88e5; }
#wall.ended .tile { opacity:.55; }
#wall.ended .tile .ttext { color:#9e9e9e; }
)WALL";

static const char kScript[] = R"WALL(
'use strict';
// The tiles by name ({box, text, key, data}), in the order of the wall; the
// filter (lower case), the tiles it shows, the stale ones, the current one.
const wall = { tiles: new Map(), filter: '', shown: 0, stale: 0, current: null };
const colourAccepted = new Map();
function wallColour(colour) {
  if (!colour) return '';
  if (!colourAccepted.has(colour)) colourAccepted.set(colour, CSS.supports('color', colour));
  return colourAccepted.get(colour) ? colour : '';
}
function wallNewTile(name) {
  const box = el('div', 'tile'); box.dataset.name = name;
  const text = label('', 'ttext');
  box.append(label(name, 'tname'), text, el('span', 'tmark', 'stale'));
  const tile = { box, text, key: name.toLowerCase(), data: null };
  wall.tiles.set(name, tile);
  if (name === wall.current) box.classList.add('current');
  box.hidden = !tile.key.includes(wall.filter);
  if (!box.hidden) ++wall.shown;
  return tile;
}
// Draws `t` (a TILE of wall_json.h) on `tile`, touching only what changed.
function wallSet(tile, t) {
  const old = tile.data || { text: undefined, sheet: undefined, colour: undefined, stale: false };
  tile.data = t;
  if (old.text !== t.text) {
    tile.text.textContent = t.text === null ? 'no panel' : t.text;
    tile.text.classList.toggle('none', t.text === null);
  }
  if (old.colour !== t.colour) tile.box.style.borderTopColor = wallColour(t.colour);
  if (old.stale !== t.stale) {
    tile.box.classList.toggle('stale', t.stale);
    wall.stale += t.stale ? 1 : -1;
  }
  if (old.sheet !== t.sheet || old.stale !== t.stale) {
    tile.box.dataset.sheet = t.sheet;
    tile.box.dataset.stale = t.stale;
    tile.box.title = t.name + (t.sheet ? ', state sheet ' + t.sheet : '') + (t.stale ? ': ' + NOTICE.stale : '');
  }
}
function wallDrop(name) {
  const tile = wall.tiles.get(name);
  if (!tile) return;
  if (!tile.box.hidden) --wall.shown;
  if (tile.data && tile.data.stale) --wall.stale;
  tile.box.remove();
  wall.tiles.delete(name);
}
function wallWhole(msg) {
  wall.tiles.clear(); wall.shown = 0; wall.stale = 0;
  const all = document.createDocumentFragment();
  for (const t of msg.tiles) { const tile = wallNewTile(t.name); wallSet(tile, t); all.appendChild(tile.box); }
  byId('wall').replaceChildren(all);
  wallRefresh();
}
function wallChange(msg) {
  const counts = [wall.tiles.size, wall.stale];
  for (const name of msg.gone) wallDrop(name);
  const added = document.createDocumentFragment();
  for (const t of msg.tiles) {
    let tile = wall.tiles.get(t.name);
    if (!tile) { tile = wallNewTile(t.name); added.appendChild(tile.box); }
    wallSet(tile, t);
  }
  if (added.childNodes.length) byId('wall').appendChild(added);
  if (counts[0] !== wall.tiles.size || counts[1] !== wall.stale) wallRefresh();
}
// The view's side: the script ended or vesk-host went (dims every tile), and
// the current component (outlined).
function wallMark(ended, current) {
  byId('wall').classList.toggle('ended', Boolean(ended));
  if (current === wall.current) return;
  const before = wall.tiles.get(wall.current);
  if (before) before.box.classList.remove('current');
  wall.current = current;
  const now = wall.tiles.get(current);
  if (now) now.box.classList.add('current');
}
function wallFilter(text) {
  wall.filter = text.trim().toLowerCase();
  wall.shown = 0;
  for (const tile of wall.tiles.values()) {
    tile.box.hidden = !tile.key.includes(wall.filter);
    if (!tile.box.hidden) ++wall.shown;
  }
  wallRefresh();
}
function wallRefresh() {
  const count = wall.tiles.size;
  byId('wall-section').hidden = count === 0;
  byId('wall-count').textContent = count + (count === 1 ? ' component' : ' components') +
    (wall.filter ? ', ' + wall.shown + ' shown' : '') + (wall.stale ? ', ' + wall.stale + ' stale' : '');
  if (count) wallFit();
}
// The widest tiles (104 to 240 px, 2.4 times as wide as high) with which
// every tile shown fits in the window; the narrowest, scrolling, when none do.
function wallFit() {
  const box = byId('wall');
  const gap = 6, ratio = 2.4, narrowest = 104, widest = 240;
  const width = box.clientWidth - 4;
  const height = Math.max(160, Math.floor(window.innerHeight - box.getBoundingClientRect().top - window.scrollY - 20));
  let chosen = narrowest;
  for (let cols = 1; cols <= Math.max(1, wall.shown); ++cols) {
    const w = Math.min(widest, (width - gap * (cols - 1)) / cols);
    if (w < narrowest) break;
    const rows = Math.ceil(wall.shown / cols);
    if (rows * (w / ratio) + gap * (rows - 1) <= height) { chosen = w; break; }
  }
  box.style.setProperty('--tile-w', Math.floor(chosen) + 'px');
  box.style.maxHeight = height + 'px';
}
byId('filter').addEventListener('input', (e) => wallFilter(e.target.value));
let wallFitting = false;
window.addEventListener('resize', () => {
  if (wallFitting || !wall.tiles.size) return;
  wallFitting = true;
  requestAnimationFrame(() => { wallFitting = false; wallFit(); });
});
)WALL";

const char* wallStyle() { return kStyle; }

const char* wallScript() { return kScript; }
