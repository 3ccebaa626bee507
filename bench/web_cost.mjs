// Main-thread work per presentation of the 640x480 browser intro against the
// floor, a bare page that writes a whole 640x480 canvas (putImageData of a
// picture that changes every time) at each animation frame. Both run in the
// same headless Chromium, measured the same way: the DevTools protocol's
// Performance.getMetrics TaskDuration (main-thread task time) over a window,
// divided by the presentations made in it. The intro is measured twice, in
// scene 1 (the map and the running man, from 1 s after its first frame) and
// in scene 2 (stars, logo and scroller, from 7.5 s); the runs interleave.
//
//   node bench/web_cost.mjs [--site build-web/site] [--seconds 5] [--runs 3]
//
// puppeteer-core comes from tests/web/node_modules (npm ci there first).
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { serve } from '../web/serve.mjs';

const here = path.dirname(fileURLToPath(import.meta.url));
const require = createRequire(path.join(here, '../tests/web/package.json'));
const puppeteer = require('puppeteer-core');

const args = { site: path.join(here, '../build-web/site'), seconds: '5', runs: '3',
               chromium: '/usr/bin/chromium' };
for (let i = 2; i + 1 < process.argv.length; i += 2)
  args[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
const seconds = Number(args.seconds), runs = Number(args.runs);

const BARE = `<!doctype html><canvas id=c width=640 height=480></canvas><script>
  const ctx = document.getElementById('c').getContext('2d');
  const image = ctx.createImageData(640, 480);
  const pixels = new Uint32Array(image.data.buffer);
  window.presented = 0;
  function frame() {
    pixels.fill(0xFF000000 | (window.presented * 0x010307 & 0xFFFFFF));
    ctx.putImageData(image, 0, 0);
    window.presented++;
    requestAnimationFrame(frame);
  }
  requestAnimationFrame(frame);
</script>`;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Main-thread task seconds and presentations over the window, on an open page
// whose counter the expression reads.
async function measure(page, counter) {
  const cdp = await page.target().createCDPSession();
  await cdp.send('Performance.enable');
  const read = async () => {
    const { metrics } = await cdp.send('Performance.getMetrics');
    return [metrics.find((m) => m.name === 'TaskDuration').value,
            await page.evaluate(counter)];
  };
  const [t0, n0] = await read();
  await sleep(seconds * 1000);
  const [t1, n1] = await read();
  await cdp.detach();
  return { ms: (1000 * (t1 - t0)) / (n1 - n0), fps: (n1 - n0) / seconds };
}

async function intro(browser, url, start) {
  const page = await browser.newPage();
  await page.goto(url);
  await page.waitForFunction(() => typeof Module !== 'undefined' && Module.firstFrameAt !== null,
                             { timeout: 30000 });
  await sleep(start);
  const result = await measure(page, () => Module.presented);
  await page.close();
  return result;
}

async function bare(browser) {
  const page = await browser.newPage();
  await page.setContent(BARE);
  await sleep(1000);
  const result = await measure(page, () => window.presented);
  await page.close();
  return result;
}

const site = await serve(args.site);
const browser = await puppeteer.launch({
  executablePath: args.chromium, headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
         '--disable-background-networking', '--disable-component-update'],
});
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const rows = { 'intro, scene 1': [], 'intro, scene 2': [], 'bare canvas': [] };
try {
  for (let r = 0; r < runs; r++) {
    rows['intro, scene 1'].push(await intro(browser, `${site.url}intro-web.html`, 1000));
    rows['bare canvas'].push(await bare(browser));
    rows['intro, scene 2'].push(await intro(browser, `${site.url}intro-web.html`, 7500));
  }
} finally {
  await browser.close();
  site.server.close();
}
const floor = median(rows['bare canvas'].map((x) => x.ms));
console.log(`main-thread work per presentation, median of ${runs} runs of ${seconds} s`);
for (const [name, results] of Object.entries(rows)) {
  const ms = median(results.map((x) => x.ms));
  console.log(`${name.padEnd(16)} ${ms.toFixed(3)} ms at ${median(results.map((x) => x.fps)).toFixed(0)} ` +
              `a second, ${(ms / floor).toFixed(2)}x the bare canvas`);
}
