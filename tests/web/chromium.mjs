// Headless Chromium as the browser tests start it: a profile folder of its
// own, no network of its own, no sandbox (the tests run as root in CI).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

// Starts Chromium from executablePath; close() ends it and removes its
// profile folder.
export async function launchChromium(executablePath) {
  const userData = fs.mkdtempSync(path.join(os.tmpdir(), 'intro-chromium-'));
  const browser = await puppeteer.launch({
    executablePath,
    headless: true,
    userDataDir: userData,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  return {
    browser,
    async close() {
      await browser.close();
      fs.rmSync(userData, { recursive: true, force: true });
    },
  };
}
