// The web view in headless Chromium, against vesk-router on loopback:
//   node panel_test.js VESK_HOST MODULE VESK_ROUTER SCREENSHOT_DIR
// The page shows the panel after "create"; a take and a rename on the router
// reach it; a hostile label shows as its characters, one with bidirectional
// controls isolated (and escaped in the transcript); a stopped router marks
// the mimic stale and a restarted one clears it; a stopped vesk-host marks
// everything ended and the page connects again to a restarted one; one that
// ends by itself sends its last lines first. Screenshots go to
// SCREENSHOT_DIR. Exit 77 (skipped) without Chromium. Ends with "N passed,
// M failed".
'use strict';
const fs = require('fs');
const path = require('path');
const h = require('./harness');

const [hostProgram, modulePath, routerProgram, shotDir] = process.argv.slice(2).map((a) => path.resolve(a));
const MIMIC = '[data-control="LevelMimic"] .value';
const HOSTILE = '<img src=x onerror=alert(1)>';
const BIDI = 'RTL \u202E live \u2067x\u2069';
// The wait of the restarted vesk-host's script: it ends by itself then.
const LAST_WAIT_MS = 10000;
const results = [];

async function check(name, body) {
  try {
    await body();
    results.push([name, null]);
    console.log(`ok   ${name}`);
  } catch (e) {
    results.push([name, e]);
    console.log(`FAIL ${name}: ${e.message}`);
  }
}

function mimicText(page) { return page.$eval(MIMIC, (e) => e.textContent); }

// Waits (at most 10 s) until the mimic shows `text`; says what it showed.
async function awaitMimic(page, text) {
  try {
    await page.waitForFunction((sel, t) => { const e = document.querySelector(sel); return e && e.textContent === t; },
                               { timeout: 10000 }, MIMIC, text);
  } catch (e) {
    throw new Error(`the mimic shows ${JSON.stringify(await mimicText(page).catch(() => null))}, not ${JSON.stringify(text)}`);
  }
}

async function run() {
  fs.mkdirSync(shotDir, { recursive: true });
  const router = await h.startRouter(routerProgram);
  const script = h.writeScript(modulePath, router.port, 120000);
  let host = await h.startHost(hostProgram, script);
  const browser = await h.launchBrowser();
  const page = await browser.newPage();
  await page.setViewport({ width: 1100, height: 760 });
  const dialogs = [];
  page.on('dialog', (d) => { dialogs.push(d.message()); d.dismiss(); });
  await page.goto(host.url, { timeout: 10000 });

  await check('the panel opened by create shows, its state sheet coloured', async () => {
    await page.waitForSelector(MIMIC, { timeout: 10000 });
    await awaitMimic(page, 'Input 3');
    const colour = await page.$eval('[data-control="LevelMimic"] .sheet', (e) => [e.textContent, e.style.backgroundColor]);
    if (colour[0] !== 'Tally' || colour[1] !== 'rgb(211, 47, 47)') throw new Error(`state sheet ${colour}`);
  });
  await check('a take on the router reaches the page', async () => {
    router.child.stdin.write('route 2 5\n');
    await awaitMimic(page, 'Input 6');
    const row = await page.$eval('#routes tr[data-destination="3"]', (e) => e.textContent);
    if (!row.includes('Input 6')) throw new Error(`router table row ${row}`);
  });
  await check('a rename reaches the page, a hostile label as its characters', async () => {
    router.child.stdin.write(`label 5 ${HOSTILE}\n`);
    await awaitMimic(page, HOSTILE);
    const images = await page.$$eval('img', (list) => list.length);
    if (images !== 0 || dialogs.length) throw new Error(`${images} img element(s), dialogs ${dialogs}`);
    await page.screenshot({ path: path.join(shotDir, 'panel.png') });
  });
  await check('a label with bidirectional controls is isolated, and escaped in the transcript', async () => {
    router.child.stdin.write(`label 5 ${BIDI}\n`);
    await awaitMimic(page, BIDI);
    await page.waitForFunction(() => document.getElementById('lines').textContent.includes('RTL \\xE2\\x80\\xAE live'), { timeout: 10000 });
    const raw = await page.evaluate(() => {
      const found = [];
      const walk = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
      for (let n = walk.nextNode(); n; n = walk.nextNode()) {
        if (!/[\u202A-\u202E\u2066-\u2069]/.test(n.data)) continue;
        const isolated = getComputedStyle(n.parentElement).unicodeBidi;
        if (isolated !== 'isolate' || n.parentElement.closest('#lines')) found.push(`${n.parentElement.tagName} ${isolated}`);
      }
      return found;
    });
    if (raw.length) throw new Error(`bidirectional controls not isolated in ${raw.join(', ')}`);
  });
  await check('a stopped router marks the mimic stale', async () => {
    h.stop(router.child);
    await h.ended(router.child);
    await page.waitForSelector('#stale-banner.on', { timeout: 10000 });
    await page.waitForSelector(`${MIMIC}.stale`, { timeout: 10000 });
    await page.screenshot({ path: path.join(shotDir, 'panel-stale.png') });
  });
  let again = router;
  await check('a restarted router clears it', async () => {
    again = await h.startRouter(routerProgram, router.port);
    again.child.stdin.write('label 2 Back again\n');
    await page.waitForSelector('#stale-banner:not(.on)', { timeout: 15000 });
    await awaitMimic(page, 'Back again');
  });
  await check('a stopped vesk-host leaves everything marked ended', async () => {
    h.stop(host.child);
    await h.ended(host.child);
    await page.waitForSelector('#link.down', { timeout: 5000 });
    await page.waitForSelector(`${MIMIC}.ended`, { timeout: 5000 });
    const routers = await page.$$eval('#routers .router', (list) => list.map((e) => e.dataset.state));
    if (!routers.length || routers.some((s) => s !== 'ended')) throw new Error(`routers ${routers}`);
  });
  await check('the page connects again to a restarted vesk-host', async () => {
    const port = new URL(host.url).port;
    host = await h.startHost(hostProgram, h.writeScript(modulePath, again.port, LAST_WAIT_MS), port);
    await page.waitForSelector('#link:not(.down)', { timeout: 10000 });
    await page.waitForSelector(`${MIMIC}:not(.ended)`, { timeout: 10000 });
  });
  await check('vesk-host ending by itself sends its last lines, and the page marks everything ended', async () => {
    await h.ended(host.child, LAST_WAIT_MS + 20000);
    await page.waitForSelector('body[data-ended="host"]', { timeout: 5000 });
    await page.waitForSelector(`${MIMIC}.ended`, { timeout: 5000 });
    const lines = await page.$eval('#lines', (e) => e.textContent);
    for (const last of ['<- delete', '-> host  RU 5', '-> host  AS', 'panel.vsc: passed'])
      if (!lines.includes(last)) throw new Error(`no "${last}" among the last lines: ${lines.slice(-300)}`);
    const routers = await page.$$eval('#routers .router', (list) => list.map((e) => e.dataset.state));
    if (!routers.length || routers.some((s) => s !== 'ended')) throw new Error(`routers ${routers}`);
    await page.screenshot({ path: path.join(shotDir, 'panel-ended.png') });
  });
  await browser.close();
}

(async () => {
  if (!h.chromiumPresent()) {
    console.log('SKIPPED: no Chromium at /usr/bin/chromium (tools/install-deps.sh installs it)');
    process.exit(77);
  }
  const guard = setTimeout(() => { console.log('FAIL: the test ran over 120 s'); h.stopAll(); process.exit(1); }, 120000);
  try {
    await run();
  } catch (e) {
    results.push(['setting up', e]);
    console.log(`FAIL ${e.stack}`);
    for (const child of h.children()) console.log(`-- ${child.name} said:\n${child.output}`);
  }
  clearTimeout(guard);
  h.stopAll();
  const failed = results.filter(([, e]) => e).length;
  console.log(`${results.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})();
