// The wall in headless Chromium, against two vesk-routers on loopback:
//   node wall_test.js VESK_HOST MODULE VESK_ROUTER SCREENSHOT_DIR
// A script creates twelve named components following destinations of router
// device 5 and six of device 6. The page shows one tile each, in creation
// order, with its mimic text and state sheet colour, all in the window; a
// take reaches its tile alone (the page is sent that tile, not the wall); a
// hostile label shows as its characters; the filter shows the tiles whose
// names match; a stopped router marks its components' tiles stale and no
// others. Screenshots (wall.png, wall-stale.png) go to SCREENSHOT_DIR.
// Exit 77 (skipped) without Chromium. Ends with "N passed, M failed".
'use strict';
const fs = require('fs');
const path = require('path');
const h = require('./harness');

const check = h.check;

const [hostProgram, modulePath, routerProgram, shotDir] = process.argv.slice(2).map((a) => path.resolve(a));
const HOSTILE = '<img src=x onerror=alert(1)>';
const SHEETS = [['Tally', 'rgb(211, 47, 47)'], ['Preview', 'rgb(46, 125, 50)'], ['Amber', 'rgb(255, 179, 0)']];
// name, device, destination (destination d is the router's output d-1, on input d-1 at the start: "Input d")
const PANELS = [];
for (let i = 1; i <= 12; ++i) PANELS.push([`mon${String(i).padStart(2, '0')}`, 5, i]);
for (let i = 1; i <= 6; ++i) PANELS.push([`edit${i}`, 6, i + 2]);

function wallScript(ports, waitMs) {
  const lines = [`module "${modulePath}"`, 'site temp', 'config 5 size 16', 'config 6 size 16',
                 `device 5 videohub 127.0.0.1:${ports[0]}`, `device 6 videohub 127.0.0.1:${ports[1]}`];
  PANELS.forEach(([name, device, destination], i) => lines.push(
    `create ${name}`, `send statesheet=${SHEETS[i % SHEETS.length][0]}`, `send driverid=${device}`,
    `send destid=${destination}`));
  lines.push(`wait ${waitMs}`);
  return h.writeScriptFile(lines, 'wall.vsc');
}

const tileText = (name) => `.tile[data-name="${name}"] .ttext`;

// Every tile's name and text, in the order shown.
function tiles(page) {
  return page.$$eval('#wall .tile', (list) => list.map((e) => [e.dataset.name, e.querySelector('.ttext').textContent]));
}

async function awaitTile(page, name, text) {
  try {
    await page.waitForFunction((sel, t) => { const e = document.querySelector(sel); return e && e.textContent === t; },
                               { timeout: 10000 }, tileText(name), text);
  } catch (e) {
    const now = await page.$eval(tileText(name), (t) => t.textContent).catch(() => null);
    throw new Error(`tile ${name} shows ${JSON.stringify(now)}, not ${JSON.stringify(text)}`);
  }
}

// The WebSocket messages the page receives, as they come.
async function recordMessages(page) {
  const messages = [];
  const session = await page.target().createCDPSession();
  await session.send('Network.enable');
  session.on('Network.webSocketFrameReceived', (e) => {
    try { messages.push(JSON.parse(e.response.payloadData)); } catch (err) { messages.push({ kind: 'not JSON' }); }
  });
  return messages;
}

async function run() {
  fs.mkdirSync(shotDir, { recursive: true });
  const routers = [await h.startRouter(routerProgram), await h.startRouter(routerProgram)];
  const host = await h.startHost(hostProgram, wallScript(routers.map((r) => r.port), 120000));
  const browser = await h.launchBrowser();
  const page = await browser.newPage();
  await page.setViewport({ width: 1100, height: 760 });
  const dialogs = [];
  page.on('dialog', (d) => { dialogs.push(d.message()); d.dismiss(); });
  const messages = await recordMessages(page);
  await page.goto(host.url, { timeout: 10000 });

  await check('the wall shows a tile per component in creation order, in the window', async () => {
    await page.waitForSelector('#wall-section:not([hidden])', { timeout: 10000 });
    await awaitTile(page, 'edit6', 'Input 8');
    const shown = await tiles(page);
    const wanted = PANELS.map(([name, , destination]) => [name, `Input ${destination}`]);
    if (JSON.stringify(shown) !== JSON.stringify(wanted)) throw new Error(`tiles ${JSON.stringify(shown)}`);
    const colours = await page.$$eval('#wall .tile', (list) => list.map((e) => [e.dataset.sheet, e.style.borderTopColor]));
    colours.forEach(([sheet, colour], i) => {
      const [name, rgb] = SHEETS[i % SHEETS.length];
      if (sheet !== name || colour !== rgb) throw new Error(`tile ${i} state sheet ${sheet} in ${colour}`);
    });
    const fits = await page.evaluate(() => {
      const last = document.querySelector('#wall .tile:last-child').getBoundingClientRect();
      return last.bottom <= window.innerHeight && document.documentElement.scrollWidth <= window.innerWidth;
    });
    if (!fits) throw new Error('the tiles do not fit the window');
    await page.screenshot({ path: path.join(shotDir, 'wall.png') });
  });
  await check('a take reaches its tile alone, sent as that tile', async () => {
    const before = await tiles(page);
    const from = messages.length;
    routers[0].child.stdin.write('route 3 9\n');  // destination 4: mon04
    await awaitTile(page, 'mon04', 'Input 10');
    const after = await tiles(page);
    const changed = after.filter((t, i) => t[1] !== before[i][1]).map((t) => t[0]);
    if (JSON.stringify(changed) !== '["mon04"]') throw new Error(`changed tiles ${changed}`);
    const sent = messages.slice(from).filter((m) => m.kind === 'wall' || m.kind === 'tiles');
    const names = sent.map((m) => m.kind + ' ' + m.tiles.map((t) => t.name).join(','));
    if (JSON.stringify(names) !== '["tiles mon04"]') throw new Error(`the page was sent ${JSON.stringify(names)}`);
  });
  await check('a hostile label shows on its tile as its characters', async () => {
    routers[1].child.stdin.write(`label 4 ${HOSTILE}\n`);  // input 4, on destination 5: edit3
    await awaitTile(page, 'edit3', HOSTILE);
    const images = await page.$$eval('img', (list) => list.length);
    const isolated = await page.$eval(tileText('edit3'), (e) => e.tagName);
    if (images !== 0 || dialogs.length || isolated !== 'BDI') throw new Error(`${images} img, dialogs ${dialogs}, ${isolated}`);
  });
  await check('the filter shows the tiles whose names match', async () => {
    await page.type('#filter', 'EDIT');
    const visible = () => page.$$eval('#wall .tile', (list) => list.filter((e) => !e.hidden).map((e) => e.dataset.name));
    const edits = PANELS.filter(([name]) => name.startsWith('edit')).map(([name]) => name);
    if (JSON.stringify(await visible()) !== JSON.stringify(edits)) throw new Error(`shown ${await visible()}`);
    const count = await page.$eval('#wall-count', (e) => e.textContent);
    if (count !== '18 components, 6 shown') throw new Error(`count "${count}"`);
    await page.$eval('#filter', (e) => { e.value = ''; e.dispatchEvent(new Event('input')); });
    if ((await visible()).length !== PANELS.length) throw new Error(`shown ${await visible()} with no filter`);
  });
  await check('a stopped router marks its tiles stale and no others', async () => {
    h.stop(routers[0].child);
    await h.ended(routers[0].child);
    await page.waitForFunction(() => document.querySelectorAll('#wall .tile.stale').length === 12, { timeout: 10000 });
    const stale = await page.$$eval('#wall .tile', (list) => list.map((e) => [e.dataset.name, e.dataset.stale,
                                                                          getComputedStyle(e.querySelector('.tmark')).display]));
    for (const [name, flag, mark] of stale) {
      const wanted = name.startsWith('mon');
      if ((flag === 'true') !== wanted || (mark !== 'none') !== wanted) throw new Error(`tile ${name}: stale ${flag}, marker ${mark}`);
    }
    const count = await page.$eval('#wall-count', (e) => e.textContent);
    if (count !== '18 components, 12 stale') throw new Error(`count "${count}"`);
    await page.screenshot({ path: path.join(shotDir, 'wall-stale.png') });
  });
  await browser.close();
}

h.runTest(run, 120);
