// A cast as people share it: intro-capture's asciicast, loaded by the
// asciinema web player in headless Chromium, shows at chosen times exactly
// the cells intro-capture records for those presentations.
//
//   node cast_player_test.mjs --capture INTRO_CAPTURE --data DIR --out DIR
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { launchChromium } from './chromium.mjs';
import { serve } from '../../web/serve.mjs';

const args = {};
for (let i = 2; i + 1 < process.argv.length; i += 2)
  args[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
for (const name of ['capture', 'data', 'out'])
  if (!args[name]) throw new Error(`missing --${name}`);
  else args[name] = path.resolve(args[name]);
const chromium = args.chromium || '/usr/bin/chromium';
fs.mkdirSync(args.out, { recursive: true });

// 40 x 25 cells at 50 presentations a second: scene 1 until space at 150,
// then scene 2. Presentation n is shown from n / 50 s to (n + 1) / 50 s.
const FPS = 50;
const FRAMES = 260;
const CHECKED = [0, 100, 149, 151, 200, 259];

const require = createRequire(import.meta.url);
const bundle = path.dirname(require.resolve('asciinema-player/dist/bundle/asciinema-player.css'));

let site, browser, chromiumRun, work;

before(async () => {
  work = fs.mkdtempSync(path.join(os.tmpdir(), 'intro-cast-'));
  const run = spawnSync(args.capture, [
    '--size', '320x200', '--frames', String(FRAMES), '--keys', '150:space',
    '--fps', String(FPS), '--cells', '--out', path.join(work, 'cells'),
    '--cast', path.join(work, 'intro.cast'), '--data', args.data,
  ], { encoding: 'utf8' });
  assert.equal(run.status, 0, run.stderr);
  for (const file of ['asciinema-player.min.js', 'asciinema-player.css'])
    fs.copyFileSync(path.join(bundle, file), path.join(work, file));
  fs.writeFileSync(path.join(work, 'player.html'), `<!doctype html>
<html><head><meta charset="utf-8"><link rel="stylesheet" href="asciinema-player.css"></head>
<body><div id="player"></div><script src="asciinema-player.min.js"></script>
<script>
  window.player = AsciinemaPlayer.create('intro.cast', document.getElementById('player'),
                                         { preload: true, autoPlay: false });
</script></body></html>
`);
  site = await serve(work);
  chromiumRun = await launchChromium(chromium);
  browser = chromiumRun.browser;
});

after(async () => {
  if (chromiumRun) await chromiumRun.close();
  if (site) site.server.close();
  if (work) fs.rmSync(work, { recursive: true, force: true });
});

// The rows the player's terminal shows, blanks for empty cells and trailing
// blanks cut, as text.
async function shownRows(page) {
  return page.evaluate(() => Array.from(document.querySelectorAll('.ap-line'),
    (line) => line.textContent.replace(/\u00a0/g, ' ').replace(/ +$/, '')));
}

test('the asciinema player shows the recorded cells at their presentations', async () => {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  await page.goto(`${site.url}player.html`, { waitUntil: 'load' });
  await page.waitForFunction(() => document.querySelectorAll('.ap-line').length >= 25,
                             { timeout: 20000 });
  for (const n of CHECKED) {
    // Half-way through the presentation's time on screen.
    await page.evaluate((t) => window.player.seek(t), (n + 0.5) / FPS);
    const want = fs.readFileSync(path.join(work, 'cells', `cells-${String(n).padStart(6, '0')}.txt`),
                                 'latin1').split('\n').slice(0, 25)
      .map((row) => row.replace(/ +$/, ''));
    let rows = [];
    for (let tries = 0; tries < 50; tries++) {
      rows = (await shownRows(page)).slice(0, 25);
      if (rows.join('\n') === want.join('\n')) break;
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    if (rows.join('\n') !== want.join('\n'))
      fs.writeFileSync(path.join(args.out, `cast-player-${n}.txt`), rows.join('\n') + '\n');
    assert.equal(rows.join('\n'), want.join('\n'), `presentation ${n} at ${(n + 0.5) / FPS} s`);
  }
  assert.deepEqual(errors, []);
});
