// The web view's speed, against vesk-router on loopback in headless Chromium:
//   node bench/web_bench.js VESK_HOST MODULE VESK_ROUTER
// 1. A take on the router to the changed text in the page's DOM, over 100
//    takes: median under 50 ms, 99th percentile under 200 ms (measured from
//    the write to vesk-router's standard input to the DOM change seen through
//    the DevTools protocol, so the figures include that round trip).
// 2. vesk-host with 20 pages open while 100 takes arrive at 20 a second: its
//    CPU time over that spell under 25% of one core, its peak resident memory
//    under 64 MiB.
// 3. A page that sends 300 000 pings, and then one that sends 1 000 000, and
//    reads nothing (each against a vesk-host of its own): the page dropped
//    with a note, vesk-host's peak resident memory under 32 MiB, and once the
//    page has gone, its resident memory within 4 MiB of what it was before.
// Prints the figures, then exits 1 when a goal is missed (77: no Chromium).
'use strict';
const fs = require('fs');
const net = require('net');
const path = require('path');
const { once } = require('events');
const h = require('../tests/web/harness');

const [hostProgram, modulePath, routerProgram] = process.argv.slice(2).map((a) => path.resolve(a));
const MIMIC = '[data-control="LevelMimic"] .value';
const GOALS = { medianMs: 50, p99Ms: 200, cpuShare: 0.25, peakMiB: 64, pingPeakMiB: 32, pingKeptMiB: 4 };

function percentile(sorted, p) { return sorted[Math.min(sorted.length - 1, Math.ceil(p * sorted.length) - 1)]; }

// CPU seconds (user + system), peak and present resident memory of process
// `pid`.
function usage(pid) {
  const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  const ticks = Number(stat[11]) + Number(stat[12]);
  const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
  const kib = (name) => Number(status.match(new RegExp(`${name}:\\s+(\\d+) kB`))[1]);
  return { cpu: ticks / 100, peakMiB: kib('VmHWM') / 1024, rssMiB: kib('VmRSS') / 1024 };
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

// Opens /events of the vesk-host at `url` and sends `count` empty pings
// (masked, as a client's are), never reading a byte; stops early when
// vesk-host drops the connection, and after 60 s in any case.
async function pingWithoutReading(url, count) {
  const { port } = new URL(url);
  const socket = net.connect(Number(port), '127.0.0.1');
  await once(socket, 'connect');
  socket.pause();
  let gone = false;
  socket.on('error', () => { gone = true; });
  socket.on('close', () => { gone = true; });
  socket.write(`GET /events HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n` +
               'Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n');
  const batch = Buffer.concat(Array(10000).fill(Buffer.from([0x89, 0x80, 1, 2, 3, 4])));
  const deadline = Date.now() + 60000;
  for (let sent = 0; sent < count && !gone && Date.now() < deadline; sent += 10000) {
    const chunk = batch.subarray(0, 6 * Math.min(10000, count - sent));
    if (!socket.write(chunk)) await new Promise((r) => { socket.once('drain', r); socket.once('close', r); setTimeout(r, 1000); });
  }
  return socket;
}

// One ping flood against a fresh vesk-host: its memory before, at its
// peak and after the page went, and whether it dropped the page.
async function pingFlood(routerPort, count) {
  const host = await h.startHost(hostProgram, h.writeScript(modulePath, routerPort, 300000));
  await sleep(500);
  const before = usage(host.child.pid);
  const socket = await pingWithoutReading(host.url, count);
  const dropped = () => host.child.output.includes('dropped a page that did not keep up');
  for (let waited = 0; waited < 10000 && !dropped(); waited += 100) await sleep(100);
  const peak = usage(host.child.pid).peakMiB;
  socket.destroy();
  await sleep(1000);
  const after = usage(host.child.pid).rssMiB;
  h.stop(host.child);
  await h.ended(host.child);
  const kept = after - before.rssMiB;
  console.log(`vesk-host, a page sending ${count} pings and reading none: ${dropped() ? 'dropped' : 'NOT dropped'}, ` +
              `resident ${before.rssMiB.toFixed(1)} MiB before, peak ${peak.toFixed(1)} MiB (goal < ${GOALS.pingPeakMiB}), ` +
              `${after.toFixed(1)} MiB after it went (goal < ${GOALS.pingKeptMiB} MiB more than before)`);
  const missed = [];
  if (!dropped()) missed.push(`the page of ${count} pings kept`);
  if (peak >= GOALS.pingPeakMiB) missed.push(`memory under ${count} pings`);
  if (kept >= GOALS.pingKeptMiB) missed.push(`memory kept after ${count} pings`);
  return missed;
}

function awaitText(page, text) {
  return page.waitForFunction((sel, t) => { const e = document.querySelector(sel); return e && e.textContent === t; },
                              { timeout: 5000, polling: 'mutation' }, MIMIC, text);
}

// Destination 3 is output 2; takes alternate between inputs 4 and 5 of the
// router ("Input 5", "Input 6"), so each one changes the text.
async function takes(router, page, count, gapMs) {
  const times = [];
  for (let i = 0; i < count; ++i) {
    const input = 4 + (i % 2);
    const started = process.hrtime.bigint();
    router.child.stdin.write(`route 2 ${input}\n`);
    if (page) {
      await awaitText(page, `Input ${input + 1}`);
      times.push(Number(process.hrtime.bigint() - started) / 1e6);
    }
    if (gapMs) await new Promise((r) => setTimeout(r, gapMs));
  }
  return times;
}

async function run() {
  const router = await h.startRouter(routerProgram);
  const host = await h.startHost(hostProgram, h.writeScript(modulePath, router.port, 300000));
  const browser = await h.launchBrowser();
  const first = await browser.newPage();
  await first.goto(host.url);
  await awaitText(first, 'Input 3');
  const latency = (await takes(router, first, 100, 0)).sort((a, b) => a - b);
  const median = percentile(latency, 0.5);
  const p99 = percentile(latency, 0.99);
  console.log(`take to DOM over ${latency.length} takes: median ${median.toFixed(1)} ms (goal < ${GOALS.medianMs}), ` +
              `p99 ${p99.toFixed(1)} ms (goal < ${GOALS.p99Ms}), max ${latency[latency.length - 1].toFixed(1)} ms`);

  const pages = [first];
  for (let i = 1; i < 20; ++i) { const p = await browser.newPage(); await p.goto(host.url); pages.push(p); }
  await Promise.all(pages.map((p) => p.waitForSelector(MIMIC)));
  const before = usage(host.child.pid);
  const t0 = process.hrtime.bigint();
  await takes(router, null, 100, 50);
  await awaitText(pages[19], 'Input 6');
  const seconds = Number(process.hrtime.bigint() - t0) / 1e9;
  const after = usage(host.child.pid);
  const share = (after.cpu - before.cpu) / seconds;
  console.log(`vesk-host with 20 pages, 100 takes in ${seconds.toFixed(1)} s: CPU ${(share * 100).toFixed(1)}% of a core ` +
              `(goal < ${GOALS.cpuShare * 100}%), peak memory ${after.peakMiB.toFixed(1)} MiB (goal < ${GOALS.peakMiB})`);
  await browser.close();
  const missed = [];
  for (const count of [300000, 1000000]) missed.push(...await pingFlood(router.port, count));
  if (median >= GOALS.medianMs) missed.push('median latency');
  if (p99 >= GOALS.p99Ms) missed.push('p99 latency');
  if (share >= GOALS.cpuShare) missed.push('CPU');
  if (after.peakMiB >= GOALS.peakMiB) missed.push('memory');
  return missed;
}

(async () => {
  if (!h.chromiumPresent()) { console.log('SKIPPED: no Chromium at /usr/bin/chromium'); process.exit(77); }
  const guard = setTimeout(() => { console.log('web_bench: ran over 300 s'); h.stopAll(); process.exit(1); }, 300000);
  let missed;
  try {
    missed = await run();
  } catch (e) {
    console.log(`web_bench: ${e.stack}`);
    for (const child of h.children()) console.log(`-- ${child.name} said:\n${child.output}`);
    missed = ['a run'];
  }
  clearTimeout(guard);
  h.stopAll();
  console.log(missed.length ? `web_bench: missed ${missed.join(', ')}` : 'web_bench: every goal met');
  process.exit(missed.length ? 1 : 0);
})();
