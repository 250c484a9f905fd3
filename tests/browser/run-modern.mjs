// The modern page style in headless Chromium, on a 3x touch phone (390 x 844) and a desktop
// (1280 x 800): no sideways scroll, no layout shift, sharp thumbnails, lazy loading below the
// first screen, pictures fitted from display copies, keyboard navigation, dark mode, no
// serious axe-core violation, and no request outside the catalog.
//
//   node run-modern.mjs --cli BUILD/bin/folivant-build --source SOURCE_DIR --work WORK_DIR
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { spawnSync } from 'node:child_process';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const CHROMIUM = process.env.FOLIVANT_CHROMIUM || '/usr/bin/chromium';
const arg = (name) => process.argv[process.argv.indexOf(name) + 1];
const skip = (why) => { console.log(`SKIPPED: ${why}`); process.exit(77); };
const VIEWPORTS = {
  phone: { viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, hasTouch: true, isMobile: true },
  desktop: { viewport: { width: 1280, height: 800 } },
};

// Facts of the page as loaded, then after scrolling through it (lazy pictures loaded).
async function pageFacts(page) {
  const first = await page.evaluate(() => [...document.images].filter((i) =>
    i.getBoundingClientRect().top > innerHeight && i.loading !== 'lazy').map((i) => i.alt));
  await page.evaluate(async () => {
    for (const i of document.images) { i.scrollIntoView(); await i.decode().catch(() => {}); }
    scrollTo(0, 0);
  });
  await page.waitForTimeout(100);
  // naturalWidth divides by the srcset density: the file's own width is that of a fresh load.
  return page.evaluate(async (eagerBelow) => ({
    eagerBelow, shift: window.__shift, catalog: document.body.classList.contains('catalog'),
    sideways: document.documentElement.scrollWidth > innerWidth,
    images: await Promise.all([...document.images].map(async (i) => {
      const file = new Image();
      file.src = i.currentSrc;
      await file.decode().catch(() => {});
      return { alt: i.getAttribute('alt'), w: i.getAttribute('width'), h: i.getAttribute('height'),
        natural: file.naturalWidth, shown: i.getBoundingClientRect().width,
        shownH: i.getBoundingClientRect().height, src: i.currentSrc };
    })),
  }), first);
}

async function checkPages(browser, dir, device, axeSource, problems) {
  const context = await browser.newContext({ ...VIEWPORTS[device], colorScheme: 'light' });
  const root = pathToFileURL(dir).href + '/';
  context.on('request', (r) => { if (!r.url().startsWith(root)) problems.push(`request outside the catalog: ${r.url()}`); });
  await context.addInitScript(() => {
    window.__shift = 0;
    new PerformanceObserver((l) => { for (const e of l.getEntries()) window.__shift += e.value; })
      .observe({ type: 'layout-shift', buffered: true });
  });
  const page = await context.newPage();
  page.on('pageerror', (e) => problems.push(`script error: ${e.message}`));
  // Every catalog page, and picture pages of every kind (first, JPEG, PNG, GIF, last): the
  // others come from the same code.
  const pages = fs.readdirSync(dir).filter((n) => n.endsWith('.html')).sort();
  const shown = pages.filter((n) => /^page\d+\.html$/.test(n) || /^(big|picture (0|1|2|23))_/.test(n));
  for (const name of shown) {
    const where = `${device} ${name}`;
    await page.goto(root + name, { waitUntil: 'load' });
    const f = await pageFacts(page);
    if (f.sideways) problems.push(`${where}: scrolls sideways`);
    if (f.shift !== 0) problems.push(`${where}: layout shift ${f.shift}`);
    for (const alt of f.eagerBelow) problems.push(`${where}: ${alt} below the first screen is not lazy`);
    for (const i of f.images) {
      if (!i.alt || !i.w || !i.h) problems.push(`${where}: ${i.src} lacks alt, width or height`);
      if (f.catalog && i.natural < (device === 'phone' ? 2 : 1) * i.shown - 0.5) {
        problems.push(`${where}: ${i.src} ${i.natural} pixels wide shown ${i.shown} wide`);
      }
      const big = !f.catalog && i.src.includes('big.jpg');
      if (!f.catalog && (i.shown > 390 * (device === 'phone') + 1280 * (device !== 'phone') || i.shownH > VIEWPORTS[device].viewport.height)) {
        problems.push(`${where}: picture ${i.shown} x ${i.shownH} does not fit`);
      }
      if (big && device === 'phone' && !i.src.endsWith('big.jpg.1280.jpg')) problems.push(`${where}: phone loads ${i.src}`);
    }
    await page.addScriptTag({ content: axeSource });
    const axe = await page.evaluate(() => window.axe.run(document, { resultTypes: ['violations'] }));
    for (const v of axe.violations.filter((x) => ['serious', 'critical'].includes(x.impact))) {
      problems.push(`${where}: axe ${v.id} (${v.impact}): ${v.nodes.length} nodes`);
    }
  }
  await context.close();
}

// Left, Right and Escape from the second picture's page; a dark system scheme.
async function checkKeysAndDark(browser, dir, problems) {
  const context = await browser.newContext({ ...VIEWPORTS.desktop, colorScheme: 'dark' });
  const page = await context.newPage();
  const second = fs.readdirSync(dir).filter((n) => n.endsWith('.html') && !/^page\d/.test(n)).sort()[1];
  for (const key of ['ArrowLeft', 'ArrowRight', 'Escape']) {
    await page.goto(pathToFileURL(path.join(dir, second)).href, { waitUntil: 'load' });
    const want = await page.evaluate((k) => document.getElementById({ ArrowLeft: 'prev', ArrowRight: 'next', Escape: 'up' }[k])?.href ?? 'no link', key);
    await Promise.all([page.waitForURL(want, { timeout: 5000 }).catch(() => {}), page.keyboard.press(key)]);
    if (page.url() !== want) problems.push(`${key} on ${second} went to ${page.url()}, not ${want}`);
  }
  const bg = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
  const [r, g, b] = bg.match(/\d+/g).map(Number);
  if (r + g + b > 150) problems.push(`dark scheme gives background ${bg}`);
  await context.close();
}

async function main() {
  const cli = arg('--cli');
  const work = path.join(arg('--work'), 'modern');
  let chromium, axeSource;
  try {
    ({ chromium } = await import('playwright-core'));
    axeSource = fs.readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
  } catch (e) {
    skip(`playwright-core or axe-core is not in tests/browser/node_modules (run scripts/install-deps): ${e.message}`);
  }
  if (!fs.existsSync(CHROMIUM)) skip(`${CHROMIUM} not found (Debian package chromium)`);
  fs.rmSync(work, { recursive: true, force: true });
  const pictures = path.join(work, 'pictures');
  fs.mkdirSync(pictures, { recursive: true });
  const list = [path.join(here, 'fixtures', 'big.jpg')];
  for (let i = 0; i < 24; ++i) {
    const ext = ['jpg', 'png', 'gif'][i % 3];
    list.push(path.join(pictures, `picture ${i}.${ext}`));
    fs.copyFileSync(path.join(here, 'fixtures', `small.${ext}`), list.at(-1));
  }
  const dir = path.join(work, 'catalog');
  const r = spawnSync(cli, ['--no-settings', '--quiet', '--style', 'modern', '--rows', '5',
    '--cols', '4', '--target', dir, '--', ...list], { encoding: 'utf8' });
  if (r.status !== 0) throw new Error(`build failed (exit ${r.status}): ${r.stderr}`);
  const problems = [];
  const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, timeout: 60000,
    args: ['--no-sandbox', '--disable-gpu'] });
  try {
    for (const device of Object.keys(VIEWPORTS)) await checkPages(browser, dir, device, axeSource, problems);
    await checkKeysAndDark(browser, dir, problems);
  } finally {
    await browser.close();
  }
  console.log(`modern style: ${problems.length ? 'FAILED' : 'ok'}`);
  for (const p of problems) console.log(`  ${p}`);
  if (problems.length) process.exit(1);
  fs.rmSync(work, { recursive: true, force: true });
}

main().catch((e) => { console.log(`FAILED: ${e.stack || e}`); process.exit(1); });
