// The intros in a real browser: both pages of build-web/site/ in headless
// Chromium, stopped at chosen presentations through the page's test hook, their
// canvas compared byte for byte with intro-capture's frame of the same number
// under the same key script.
//
//   node browser_test.mjs --site DIR --capture INTRO_CAPTURE --data DIR --out DIR
//
// On a mismatch the browser's frame and a diff image (differing pixels red)
// are written to --out as P6 files. One screenshot of each page goes there too.
// The soundtrack the page renders is compared with intro-capture's WAV of the
// song from its start, through the hook's hash of the samples taken so far.
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { launchChromium } from './chromium.mjs';
import { serve } from '../../web/serve.mjs';

const args = {};
for (let i = 2; i + 1 < process.argv.length; i += 2)
  args[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
for (const name of ['site', 'capture', 'data', 'out'])
  if (!args[name]) throw new Error(`missing --${name}`);
  else args[name] = path.resolve(args[name]);
const chromium = args.chromium || '/usr/bin/chromium';
fs.mkdirSync(args.out, { recursive: true });

const PAGE_LIMIT = 400 * 1000;  // bytes of a page's own files
const FIRST_FRAME_LIMIT = 1500;  // ms from navigation to the first presentation

// One key script for both pages, in intro-capture's terms: the key goes down
// before the poll of presentation N and up before the poll of N + 1. In the
// browser a key held across a stop goes down at the stop after N and up at the
// next; a tap goes down and up at the same stop, inside one poll.
const CAPTURE_KEYS = '250:space,500:q';
const STEPS = [
  { at: 60, what: 'the map drifting' },
  { at: 250, what: 'the running man, as space goes down', down: 'Space' },
  { at: 251, what: 'scene 2 after space, as space comes up', up: 'Space' },
  { at: 400, what: 'stars, logo and scroller', screenshot: true },
  { at: 500, what: 'scene 2, q tapped', tap: 'KeyQ' },
  { at: 560, what: 'the fade after q' },
];

const PAGES = [
  { page: 'intro-web.html', width: 640, height: 480, query: '', pacing: 'animation frames' },
  { page: 'intro-web-fullscreen.html', width: 320, height: 200, query: '&fps=240',
    pacing: '?fps=240' },
];

// Reads a P6 file as { width, height, rgb }.
function readP6(file) {
  const bytes = fs.readFileSync(file);
  let at = 0;
  const token = () => {
    for (;;) {
      while (/\s/.test(String.fromCharCode(bytes[at]))) at++;
      if (bytes[at] !== 0x23) break;  // '#': a comment to the end of the line
      while (bytes[at] !== 0x0a) at++;
    }
    const start = at;
    while (!/\s/.test(String.fromCharCode(bytes[at]))) at++;
    return bytes.toString('latin1', start, at);
  };
  assert.equal(token(), 'P6', `${file} is not a P6 file`);
  const width = Number(token()), height = Number(token()), max = Number(token());
  assert.equal(max, 255);
  return { width, height, rgb: bytes.subarray(at + 1, at + 1 + width * height * 3) };
}

function writeP6(file, width, height, rgb) {
  fs.writeFileSync(file, Buffer.concat([Buffer.from(`P6\n${width} ${height}\n255\n`), rgb]));
}

// intro-capture's frame n under the key script, at the page's size.
function captureFrame(config, n) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'intro-capture-'));
  try {
    const run = spawnSync(args.capture, [
      '--size', `${config.width}x${config.height}`, '--keys', CAPTURE_KEYS,
      '--from', String(n), '--frames', String(n + 1), '--out', dir,
    ], { cwd: args.data, encoding: 'utf8' });
    assert.equal(run.status, 0, `intro-capture failed: ${run.stderr}`);
    return readP6(path.join(dir, `frame-${String(n).padStart(6, '0')}.ppm`));
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// The first frames stereo sample frames of the song as intro-capture renders
// it from its start, without a key (so without the fade): the WAV's bytes,
// little-endian 16-bit samples, left then right.
function nativeAudio(frames) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'intro-capture-'));
  try {
    const fps = 50, presentations = Math.ceil(frames / (48000 / fps)) + 1;
    const wav = path.join(dir, 'song.wav');
    const run = spawnSync(args.capture, [
      '--size', '320x200', '--frames', String(presentations), '--every', String(presentations),
      '--fps', String(fps), '--wav', wav, '--out', dir,
    ], { cwd: args.data, encoding: 'utf8' });
    assert.equal(run.status, 0, `intro-capture failed: ${run.stderr}`);
    const bytes = fs.readFileSync(wav).subarray(44);
    assert.ok(bytes.length >= frames * 4, `the WAV holds ${bytes.length} bytes`);
    return bytes.subarray(0, frames * 4);
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// FNV-1a 64 of nativeAudio(frames), as 16 hex digits.
function nativeAudioHash(frames) {
  const bytes = nativeAudio(frames);
  const prime = 0x100000001b3n, mask = (1n << 64n) - 1n;
  let h = 0xcbf29ce484222325n;
  for (const byte of bytes) h = ((h ^ BigInt(byte)) * prime) & mask;
  return h.toString(16).padStart(16, '0');
}

// The canvas's pixels as RGBA bytes, read with getImageData.
async function canvasPixels(page) {
  const base64 = await page.evaluate(() => {
    const c = Module.canvas;
    const data = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let text = '';
    for (let i = 0; i < data.length; i += 0x8000)
      text += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
    return btoa(text);
  });
  return Buffer.from(base64, 'base64');
}

// Compares the canvas with intro-capture's frame; on a mismatch writes both
// pictures' difference and returns a description of the first differing pixel.
function compare(config, n, rgba, expected) {
  const { width, height } = config;
  if (expected.width !== width || expected.height !== height)
    return `intro-capture wrote ${expected.width}x${expected.height}`;
  if (rgba.length !== width * height * 4) return `the canvas holds ${rgba.length} bytes`;
  const rgb = Buffer.alloc(width * height * 3), diff = Buffer.alloc(width * height * 3);
  let first = null, count = 0;
  for (let i = 0; i < width * height; i++) {
    let same = rgba[4 * i + 3] === 255;
    for (let c = 0; c < 3; c++) {
      rgb[3 * i + c] = rgba[4 * i + c];
      if (rgba[4 * i + c] !== expected.rgb[3 * i + c]) same = false;
    }
    if (!same) {
      diff[3 * i] = 255;
      count++;
      if (first === null) first = i;
    } else {
      diff[3 * i] = diff[3 * i + 1] = diff[3 * i + 2] = rgb[3 * i] >> 2;
    }
  }
  if (first === null) return null;
  const stem = path.join(args.out, `${path.parse(config.page).name}-${n}`);
  writeP6(`${stem}_browser.ppm`, width, height, rgb);
  writeP6(`${stem}_diff.ppm`, width, height, diff);
  const x = first % width, y = Math.floor(first / width);
  const got = Array.from(rgba.subarray(4 * first, 4 * first + 4));
  const want = Array.from(expected.rgb.subarray(3 * first, 3 * first + 3));
  return `${count} pixels differ; first at (${x}, ${y}): browser RGBA ${got}, ` +
         `intro-capture RGB ${want}; see ${stem}_browser.ppm and ${stem}_diff.ppm`;
}

async function waitForStop(page, n) {
  await page.waitForFunction((n) => typeof Module !== 'undefined' && Module.stopped === n,
                             { timeout: 60000, polling: 20 }, n);
}

// The share of canvas pixels in a screenshot that are not black, measured by
// drawing the PNG back onto a canvas in the page.
async function litShare(page, png, config) {
  return page.evaluate(async (url, box) => {
    const image = new Image();
    image.src = url;
    await image.decode();
    const c = document.createElement('canvas');
    c.width = image.width;
    c.height = image.height;
    const ctx = c.getContext('2d');
    ctx.drawImage(image, 0, 0);
    const data = ctx.getImageData(box.x, box.y, box.width, box.height).data;
    let lit = 0;
    for (let i = 0; i < data.length; i += 4) lit += data[i] + data[i + 1] + data[i + 2] > 0;
    return lit / (data.length / 4);
  }, `data:image/png;base64,${png.toString('base64')}`, config.box);
}

let browser, site, chromiumRun;

before(async () => {
  site = await serve(args.site);
  chromiumRun = await launchChromium(chromium);
  browser = chromiumRun.browser;
});

after(async () => {
  if (chromiumRun) await chromiumRun.close();
  if (site) site.server.close();
});

for (const config of PAGES) {
  describe(`${config.page} (${config.width}x${config.height}, paced by ${config.pacing})`, () => {
    test('its own files stay within 400 KB besides the shared data file', (t) => {
      const stem = path.parse(config.page).name;
      const total = ['.html', '.js', '.wasm']
        .map((ext) => fs.statSync(path.join(args.site, stem + ext)).size)
        .reduce((a, b) => a + b);
      t.diagnostic?.(`${total} bytes`);
      assert.ok(total <= PAGE_LIMIT, `${total} bytes`);
    });

    test('shows intro-capture\'s frames through a held space, a tapped q and the fade, ' +
         'then offers to start again', async (t) => {
      const page = await browser.newPage();
      const errors = [];
      page.on('pageerror', (error) => errors.push(String(error)));
      try {
        await page.setViewport({ width: 1024, height: 768 });
        await page.goto(`${site.url}${config.page}?stopAt=${STEPS[0].at}${config.query}`);
        const mismatches = [];
        for (let s = 0; s < STEPS.length; s++) {
          const step = STEPS[s];
          await waitForStop(page, step.at);
          if (s === 0) {
            const first = await page.evaluate(() => Module.firstFrameAt);
            t.diagnostic?.(`first frame ${Math.round(first)} ms after navigation`);
            assert.ok(first <= FIRST_FRAME_LIMIT, `first frame after ${first} ms`);
          }
          assert.equal(await page.evaluate(() => Module.presented), step.at + 1);
          const problem = compare(config, step.at, await canvasPixels(page),
                                  captureFrame(config, step.at));
          if (problem) mismatches.push(`presentation ${step.at} (${step.what}): ${problem}`);
          if (step.screenshot) {
            const box = await page.evaluate(() => {
              const r = Module.canvas.getBoundingClientRect();
              return { x: r.x, y: r.y, width: r.width, height: r.height };
            });
            const png = await page.screenshot();
            fs.writeFileSync(path.join(args.out, `${path.parse(config.page).name}.png`), png);
            const lit = await litShare(page, png, { box });
            assert.ok(lit > 0.01, `the canvas in the screenshot is blank (${lit} lit)`);
          }
          if (step.down) await page.keyboard.down(step.down);
          if (step.up) await page.keyboard.up(step.up);
          if (step.tap) await page.keyboard.press(step.tap);
          const next = s + 1 < STEPS.length ? STEPS[s + 1].at : null;
          await page.evaluate((next) => { Module.stopAt = next; Module.resume(); }, next);
        }
        assert.deepEqual(mismatches, []);
        await page.waitForFunction(() => document.body.classList.contains('ended'),
                                   { timeout: 60000 });
        assert.equal(await page.evaluate(() => Module.presented), 500 + 1 + 256);
        await Promise.all([page.waitForNavigation(), page.click('#again')]);
        await page.waitForFunction(() => typeof Module !== 'undefined' && Module.presented > 0,
                                   { timeout: 10000 });
        assert.deepEqual(errors, []);
      } finally {
        await page.close();
      }
    });
  });
}

describe('keys', () => {
  test('browser keys become SDL 1.2 key symbols', async () => {
    const page = await browser.newPage();
    try {
      await page.goto(`${site.url}intro-web-fullscreen.html?stopAt=0`);
      await waitForStop(page, 0);
      const cases = [
        [{ key: 'Escape', code: 'Escape' }, 27],
        [{ key: ' ', code: 'Space' }, 32],
        [{ key: 'q', code: 'KeyQ' }, 113],
        [{ key: 'Q', code: 'KeyQ' }, 113],  // shifted: SDL names the key, not the character
        [{ key: 'F2', code: 'F2' }, 283],   // low byte 27: quits like Escape
        [{ key: 'F7', code: 'F7' }, 288],   // low byte 32: switches like space
        [{ key: '1', code: 'Digit1' }, 49],
        [{ key: 'ArrowUp', code: 'ArrowUp' }, 273],
        [{ key: '0', code: 'Numpad0' }, 256],  // low byte 0: no key
        [{ key: 'Unidentified', code: '' }, 0],
      ];
      const got = await page.evaluate((events) => events.map((e) => Module.keySym(e)),
                                      cases.map((c) => c[0]));
      assert.deepEqual(got, cases.map((c) => c[1]));
    } finally {
      await page.close();
    }
  });
});

describe('sound', () => {
  const audio = (page) => page.evaluate(() => ({
    state: Module.soundState, frames: Module.audioFrames(), hash: Module.audioHash(),
    button: document.getElementById('sound').textContent,
  }));
  // Waits until the page has taken more sample frames than it had.
  const growsFrom = (page, frames) => page.waitForFunction(
    (frames) => Module.audioFrames() > frames, { timeout: 10000 }, frames);

  test('the first click starts the song from its start, the button turns it off and on, ' +
       'and the picture goes on', async (t) => {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(String(error)));
    try {
      await page.goto(`${site.url}intro-web-fullscreen.html?stopAt=30&fps=240`);
      await waitForStop(page, 30);
      let now = await audio(page);
      assert.deepEqual([now.state, now.frames, now.button], ['waiting', 0, 'Play sound']);
      // What the node plays: the first frames as -1 .. 1, left and right apart
      // (the song's start has them differ).
      const played = await page.evaluate(() => {
        const channels = [new Float32Array(300), new Float32Array(300)];
        Module.audioFill({ outputBuffer: { getChannelData: (c) => channels[c] } });
        return channels.map((c) => Array.from(c, (v) => Math.round(v * 32768)));
      });
      const start = nativeAudio(300), want = [[], []];
      for (let i = 0; i < 300; i++)
        for (let c = 0; c < 2; c++) want[c].push(start.readInt16LE(4 * i + 2 * c));
      assert.notDeepEqual(want[0], want[1]);
      assert.deepEqual(played, want, 'the node plays other samples');
      // Taken through the hook in pieces of several sizes, as the node would.
      await page.evaluate(() => { for (const k of [1, 1000, 4096, 20000, 777]) Module.audioRender(k); });
      now = await audio(page);
      assert.equal(now.frames, 300 + 1 + 1000 + 4096 + 20000 + 777);
      assert.equal(now.hash, nativeAudioHash(now.frames), 'the samples differ from the native song');

      await page.click('#canvas');
      await page.waitForFunction(() => Module.soundState === 'on', { timeout: 5000 });
      await growsFrom(page, now.frames);  // Web Audio pulls the song
      now = await audio(page);
      t.diagnostic?.(`${now.frames} sample frames after the click`);
      assert.equal(now.button, 'Sound off');
      assert.equal(now.hash, nativeAudioHash(now.frames), 'the played samples differ');

      await page.click('#sound');
      now = await audio(page);
      assert.deepEqual([now.state, now.button], ['off', 'Sound on']);
      await page.click('#canvas');  // a later click leaves it off
      await new Promise((resolve) => setTimeout(resolve, 300));
      const paused = await audio(page);
      assert.equal(paused.state, 'off');
      await new Promise((resolve) => setTimeout(resolve, 500));
      assert.equal((await audio(page)).frames, paused.frames, 'the song goes on while off');

      await page.click('#sound');
      await growsFrom(page, paused.frames);
      now = await audio(page);
      assert.deepEqual([now.state, now.button], ['on', 'Sound off']);
      assert.equal(now.hash, nativeAudioHash(now.frames), 'the samples after the pause differ');

      await page.evaluate(() => { Module.stopAt = 60; Module.resume(); });
      await waitForStop(page, 60);
      assert.deepEqual(errors, []);
    } finally {
      await page.close();
    }
  });

  test('a page without Web Audio goes on silent', async () => {
    const page = await browser.newPage();
    try {
      await page.evaluateOnNewDocument(() => {
        delete window.AudioContext;
        delete window.webkitAudioContext;
      });
      await page.goto(`${site.url}intro-web-fullscreen.html?stopAt=10&fps=240`);
      await waitForStop(page, 10);
      await page.click('#canvas');
      const now = await audio(page);
      assert.deepEqual([now.state, now.frames, now.button], ['none', 0, 'No sound']);
      assert.ok(await page.evaluate(() => document.getElementById('sound').disabled));
      await page.evaluate(() => { Module.stopAt = 40; Module.resume(); });
      await waitForStop(page, 40);
    } finally {
      await page.close();
    }
  });
});
