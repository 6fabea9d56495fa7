// What the web view's benchmarks (web_bench.js, wall_bench.js) share: a
// percentile, a process's CPU time and memory from /proc, and the run of a
// benchmark within a time limit.
'use strict';
const fs = require('fs');
const h = require('../tests/web/harness');

// The value at fraction `p` of `sorted` (ascending).
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

// Runs benchmark `name`'s `run` (it resolves with the goals it missed)
// within `limitS` seconds, stops every process, says whether every goal was
// met and exits (1: a goal missed, 77: no Chromium).
async function runBench(name, run, limitS) {
  if (!h.chromiumPresent()) { console.log('SKIPPED: no Chromium at /usr/bin/chromium'); process.exit(77); }
  const guard = setTimeout(() => { console.log(`${name}: ran over ${limitS} s`); h.stopAll(); process.exit(1); },
                           limitS * 1000);
  let missed;
  try {
    missed = await run();
  } catch (e) {
    console.log(`${name}: ${e.stack}`);
    for (const child of h.children()) console.log(`-- ${child.name} said:\n${child.output}`);
    missed = ['a run'];
  }
  clearTimeout(guard);
  h.stopAll();
  console.log(missed.length ? `${name}: missed ${missed.join(', ')}` : `${name}: every goal met`);
  process.exit(missed.length ? 1 : 0);
}

module.exports = { percentile, usage, sleep, runBench };
