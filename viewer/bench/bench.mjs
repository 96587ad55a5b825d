// The viewer on a large archive in the real browser (Debian's chromium,
// headless): how long until the list shows, until the search index is
// built, until a search answers; frame times while the list scrolls; the
// page's memory. Prints figures; goals are for the reader to compare.
//   node viewer/bench/bench.mjs ARCHIVE.zip [--no-index]
// Memory: the page's JavaScript heap, and the resident memory of its
// renderer process (the page and its workers), at its peak.
import { chromium } from 'playwright-core';
import { statSync, readdirSync, readFileSync } from 'node:fs';
import { join } from 'node:path';
import { pathToFileURL, fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('../..', import.meta.url));
const [archive, ...flags] = process.argv.slice(2);
if (!archive) {
  console.error('usage: node viewer/bench/bench.mjs ARCHIVE.zip [--no-index]');
  process.exit(2);
}
const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: [...(process.getuid && process.getuid() === 0 ? ['--no-sandbox'] : []), '--enable-precise-memory-info'],
});
const tab = await browser.newPage({ viewport: { width: 1280, height: 860 } });
const errors = [];
tab.on('pageerror', (error) => errors.push(error.message));
const cdp = await tab.context().newCDPSession(tab);
await cdp.send('Performance.enable');
await tab.goto(pathToFileURL(join(root, 'viewer/dist/viewer.html')).href);

const ms = (start) => Math.round(performance.now() - start);
const figures = { archive, bytes: statSync(archive).size };

let start = performance.now();
await tab.setInputFiles('#file', archive);
await tab.waitForSelector('#mails tr[data-index]', { timeout: 600000 });
figures.listedMs = ms(start);
figures.mails = await tab.evaluate(() => document.querySelector('#status').textContent);

// The resident memory of the page's renderer process (with its workers), on
// Linux: the largest renderer, sampled through the run for its peak.
function rendererMB() {
  let largest = 0;
  for (const pid of readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    try {
      if (!readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('--type=renderer')) continue;
      largest = Math.max(largest, Number(readFileSync(`/proc/${pid}/status`, 'utf8').match(/VmRSS:\s+(\d+)/)[1]));
    } catch {
      // a process that ended meanwhile
    }
  }
  return Math.round(largest / 1024);
}
let peakRendererMB = 0;
const sampler = setInterval(() => (peakRendererMB = Math.max(peakRendererMB, rendererMB())), 250);

// Scrolling: the list from top to bottom in steps of a screen, one step a frame, for three seconds.
const scroll = () => tab.evaluate(() => new Promise((resolve) => {
  const scroll = document.getElementById('listScroll');
  scroll.scrollTop = 0;
  const frames = [];
  let last = performance.now();
  const until = last + 3000;
  const step = () => {
    const now = performance.now();
    frames.push(now - last);
    last = now;
    scroll.scrollTop += scroll.clientHeight * 0.9;
    if (scroll.scrollTop + scroll.clientHeight >= scroll.scrollHeight) scroll.scrollTop = 0;
    if (now < until) requestAnimationFrame(step);
    else {
      frames.shift();
      frames.sort((a, b) => a - b);
      resolve({ frames: frames.length, fps: Math.round(frames.length / 3), worstMs: Math.round(frames[frames.length - 1]),
        p99Ms: Math.round(frames[Math.floor(frames.length * 0.99)]), over50ms: frames.filter((f) => f > 50).length });
    }
  };
  requestAnimationFrame(step);
}));


const memory = async () => {
  const { metrics } = await cdp.send('Performance.getMetrics');
  const heap = metrics.find((m) => m.name === 'JSHeapUsedSize').value;
  return Math.round(heap / 2 ** 20);
};
const chosen = start;
if (flags.includes('--no-index')) figures.scroll = await scroll();  // while the index is read beside it
figures.heapAfterListMB = await memory();
figures.rendererAfterListMB = rendererMB();

if (!flags.includes('--no-index')) {
  start = chosen;  // the index is read from the moment the archive is chosen
  let longestIdleGapMs = 0;
  // The page must keep answering while the workers read: the longest wait for a frame is measured.
  const responsive = tab.evaluate(() => new Promise((resolve) => {
    let last = performance.now();
    let worst = 0;
    const frame = () => {
      const now = performance.now();
      worst = Math.max(worst, now - last);
      last = now;
      if (document.getElementById('indexing').hidden) resolve(worst);
      else requestAnimationFrame(frame);
    };
    requestAnimationFrame(frame);
  }));
  await tab.waitForFunction(() => {
    const text = document.getElementById('indexText').textContent.match(/([\d.]+) von ([\d.]+)/);
    return document.getElementById('indexing').hidden && text && text[1] === text[2];
  }, null, { timeout: 3600000, polling: 100 });
  longestIdleGapMs = await responsive;
  figures.indexMs = ms(start);
  figures.longestFrameWhileIndexingMs = Math.round(longestIdleGapMs);
  figures.heapAfterIndexMB = await memory();
  figures.scroll = await scroll();
  figures.rendererAfterIndexMB = rendererMB();

  figures.searches = [];
  for (const query of ['Rechn', 'Angebot Termin', 'grüsse', 'Anlage 17', 'nichtvorhanden']) {
    const answer = await tab.evaluate((q) => new Promise((resolve) => {
      const box = document.getElementById('search');
      const began = performance.now();
      document.addEventListener('cv-searched', () => requestAnimationFrame(() => resolve({
        ms: Math.round(performance.now() - began), title: document.getElementById('listTitle').textContent })), { once: true });
      box.value = q;
      box.dispatchEvent(new Event('input'));
    }), query);
    figures.searches.push({ query, ms: answer.ms, title: answer.title });
  }
}
figures.peakRendererMB = Math.max(peakRendererMB, rendererMB());
clearInterval(sampler);
figures.errors = errors;
console.log(JSON.stringify(figures, null, 2));
await browser.close();
if (errors.length) process.exit(1);
