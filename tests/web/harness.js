// What the web view's browser test and benchmark share: vesk-router and
// vesk-host started on loopback with free ports, lines awaited with a time
// limit, and headless Chromium through puppeteer-core (Debian's chromium; no
// browser is downloaded). Every wait is bounded; every process started here
// is ended by stopAll().
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const CHROMIUM = process.env.VESK_CHROMIUM || '/usr/bin/chromium';
const started = [];

// Resolves with the first line of `stream` that matches `pattern` (its match),
// within `ms`.
function awaitLine(stream, pattern, ms, what) {
  return new Promise((resolve, reject) => {
    let buffer = '';
    const timer = setTimeout(() => { stream.off('data', onData); reject(new Error(`no ${what} within ${ms} ms`)); }, ms);
    function onData(chunk) {
      buffer += chunk.toString();
      let end;
      while ((end = buffer.indexOf('\n')) >= 0) {
        const line = buffer.slice(0, end);
        buffer = buffer.slice(end + 1);
        const match = line.match(pattern);
        if (match) { clearTimeout(timer); stream.off('data', onData); resolve(match); return; }
      }
    }
    stream.on('data', onData);
  });
}

function track(child, name) {
  child.name = name;
  child.output = '';
  child.stdout.on('data', (d) => { child.output = (child.output + d).slice(-20000); });
  child.stderr.on('data', (d) => { child.output = (child.output + d).slice(-20000); });
  started.push(child);
  return child;
}

// vesk-router on 127.0.0.1 (port 0: a free one); resolves with the child
// and its port. Commands go to child.stdin.
async function startRouter(program, port = 0) {
  const child = track(spawn(program, ['--listen', `127.0.0.1:${port}`], { stdio: ['pipe', 'pipe', 'pipe'] }),
                      'vesk-router');
  const match = await awaitLine(child.stdout, /listening on 127\.0\.0\.1:(\d+)/, 5000, 'vesk-router listening');
  return { child, port: Number(match[1]) };
}

// vesk-router serving SW-P-08 alone on 127.0.0.1 (a free port), `size`
// inputs and outputs; resolves with the child and its port.
async function startSwp08Router(program, size) {
  const child = track(spawn(program, ['--swp08', '127.0.0.1:0', '--outputs', String(size), '--inputs', String(size)],
                            { stdio: ['pipe', 'pipe', 'pipe'] }), 'vesk-router');
  const match = await awaitLine(child.stdout, /swp08 listening on 127\.0\.0\.1:(\d+)/, 5000, 'vesk-router listening');
  return { child, port: Number(match[1]) };
}

// A script of `lines` in a fresh temporary folder, as NAME; its path.
function writeScriptFile(lines, name = 'panel.vsc') {
  const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'vesk-web-')), name);
  fs.writeFileSync(file, [...lines, ''].join('\n'));
  return file;
}

// A script that follows router device 5 at `routerPort` and shows destination
// 3 on the panel, then serves for `waitMs`.
function writeScript(module, routerPort, waitMs) {
  return writeScriptFile([
    `module "${module}"`, 'site temp', 'config 5 size 16', `device 5 videohub 127.0.0.1:${routerPort}`,
    'create', 'send statesheet=Tally', 'send driverid=5', 'send destid=3', `wait ${waitMs}`]);
}

// vesk-host --web ADDR running `script`, through VESK_HOST_LAUNCHER when set
// ("wine" for the Windows build); resolves with the child and the page's
// address.
async function startHost(program, script, web = '0') {
  const launcher = (process.env.VESK_HOST_LAUNCHER || '').split(' ').filter(Boolean);
  const args = ['--web', web, script];
  const child = track(launcher.length ? spawn(launcher[0], [...launcher.slice(1), program, ...args], { stdio: ['ignore', 'pipe', 'pipe'] })
                                      : spawn(program, args, { stdio: ['ignore', 'pipe', 'pipe'] }), 'vesk-host');
  const match = await awaitLine(child.stderr, /web view at (http:\/\/127\.0\.0\.1:\d+\/)/, 10000, 'web view address');
  return { child, url: match[1] };
}

function stop(child) {
  if (child && child.exitCode === null && child.signalCode === null) child.kill('SIGTERM');
}

// Resolves once `child` has exited (SIGKILL after `ms`).
function ended(child, ms = 5000) {
  if (child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    const timer = setTimeout(() => { child.kill('SIGKILL'); }, ms);
    child.once('exit', () => { clearTimeout(timer); resolve(); });
  });
}

function stopAll() {
  for (const child of started) {
    stop(child);
    setTimeout(() => { if (child.exitCode === null && child.signalCode === null) child.kill('SIGKILL'); }, 2000).unref();
  }
}

function chromiumPresent() { return fs.existsSync(CHROMIUM); }

async function launchBrowser() {
  let puppeteer;
  try {
    puppeteer = require('puppeteer-core');
  } catch (e) {
    throw new Error('puppeteer-core is missing: run tools/install-deps.sh (npm ci in tests/web)');
  }
  return puppeteer.launch({
    executablePath: CHROMIUM, headless: true, protocolTimeout: 30000,
    args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1'],
  });
}

function children() { return started; }

// The checks of a test: each one's name and its error (null: it passed).
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

// Runs a test's `run` (its checks) within `limitS` seconds, then stops every
// process, prints "N passed, M failed" and exits (1 when any failed, 77:
// skipped without Chromium).
async function runTest(run, limitS) {
  if (!chromiumPresent()) {
    console.log('SKIPPED: no Chromium at /usr/bin/chromium (tools/install-deps.sh installs it)');
    process.exit(77);
  }
  const guard = setTimeout(() => { console.log(`FAIL: the test ran over ${limitS} s`); stopAll(); process.exit(1); },
                           limitS * 1000);
  try {
    await run();
  } catch (e) {
    results.push(['setting up', e]);
    console.log(`FAIL ${e.stack}`);
    for (const child of started) console.log(`-- ${child.name} said:\n${child.output}`);
  }
  clearTimeout(guard);
  stopAll();
  const failed = results.filter(([, e]) => e).length;
  console.log(`${results.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

module.exports = { children, awaitLine, startRouter, startSwp08Router, writeScriptFile, writeScript, startHost, stop, ended, stopAll, chromiumPresent, launchBrowser,
                   check, runTest };
