// Screenshots of the catalog pages for the README: the demo pictures built in the classic and
// the modern style, each on a phone and a desktop, in headless Chromium (playwright-core from
// tests/browser/node_modules).
//
//   node main.mjs BUILD/bin/folivant-build SOURCE_DIR OUT_DIR
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { spawnSync } from 'node:child_process';
import { pathToFileURL } from 'node:url';

const [cli, source, out] = process.argv.slice(2);
const require = createRequire(path.resolve(source, 'tests', 'browser', 'package.json'));
const { chromium } = require('playwright-core');
// Half the pixels of the screens they stand for, so the pictures stay small in the repository.
const DEVICES = {
  phone: { viewport: { width: 390, height: 844 }, deviceScaleFactor: 0.5, isMobile: true, hasTouch: true },
  desktop: { viewport: { width: 1280, height: 800 }, deviceScaleFactor: 0.5 },
};

const work = fs.mkdtempSync(path.join(os.tmpdir(), 'folivant-shots-'));
const browser = await chromium.launch({ executablePath: process.env.FOLIVANT_CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu'] });
try {
  for (const style of ['classic', 'modern']) {
    const dir = path.join(work, style);
    const r = spawnSync(cli, ['--no-settings', '--quiet', '--style', style, '--title', 'Demo pictures',
      '--target', dir, path.join(source, 'examples', 'pictures')], { encoding: 'utf8' });
    if (r.status !== 0) throw new Error(`${style} build failed: ${r.stderr}`);
    for (const [device, options] of Object.entries(DEVICES)) {
      const context = await browser.newContext(options);
      const page = await context.newPage();
      await page.goto(pathToFileURL(path.join(dir, 'page1.html')).href, { waitUntil: 'load' });
      await page.evaluate(async () => { for (const i of document.images) await i.decode().catch(() => {}); });
      await page.screenshot({ path: path.join(out, `${style}-${device}.png`) });
      await context.close();
    }
  }
} finally {
  await browser.close();
  fs.rmSync(work, { recursive: true, force: true });
}
