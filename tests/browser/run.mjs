// Builds catalogs with folivant-build and opens every page in headless Chromium: pictures with
// hostile names (no foreign script may run, every link and picture must resolve), photos in
// every orientation and format (shown at the size their pages give, thumbnails turned the way
// the browser turns the picture), and the demo as `make demo` makes it.
//
//   node run.mjs --cli BUILD/bin/folivant-build --source SOURCE_DIR --work WORK_DIR
//
// Exits 0 when every check passes, 1 on a failed check, 77 when the browser cannot be had.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { spawnSync } from 'node:child_process';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const CHROMIUM = process.env.FOLIVANT_CHROMIUM || '/usr/bin/chromium';
// Mean difference per colour sample (0-255) of two 4 x 4 looks beyond which a thumbnail is not
// its picture as the browser shows it (turned or mirrored).
const LOOK_ALIKE = 24;
const arg = (name) => process.argv[process.argv.indexOf(name) + 1];
const skip = (why) => { console.log(`SKIPPED: ${why}`); process.exit(77); };

// Markup, URL delimiters, quotes that end an attribute or a script string, letters beyond ASCII.
// The last four run script if written into a page unescaped.
const HOSTILE = ['blank name', 'amp&ersand', 'less<than>greater', 'double"quote', "single'quote",
  'hash#tag', 'per%25cent', '100%', 'question?mark', 'Ünïcödé ñame 写真', '-leading-dash',
  'entity&amp;lt', 'back\\slash', '<img src=x onerror=window.__pwned=1>',
  '" onmouseover="window.__pwned=2" x="', "q');window.__pwned=3;('", "q\\');window.__pwned=4;-"];

function fileOf(href, problems, what) {
  const url = new URL(href);
  if (url.protocol !== 'file:' || url.search || url.hash) {
    problems.push(`${what}: not a plain file address (name not encoded?): ${href}`);
  } else if (!fs.statSync(fileURLToPath(url), { throwIfNoEntry: false })?.isFile()) {
    problems.push(`${what}: ${href} names no file`);
  }
}

async function checkCatalog(context, dir) {
  const problems = [];
  const looks = { thumb: new Map(), shown: new Map() };  // picture name -> 4 x 4 colours
  const page = await context.newPage();
  let where = '';
  page.on('dialog', (d) => { problems.push(`${where}: a dialog opened: ${d.message()}`); d.dismiss(); });
  page.on('pageerror', (e) => problems.push(`${where}: script error: ${e.message}`));
  const pages = fs.readdirSync(dir, { recursive: true }).filter((n) => n.endsWith('.html')).sort();
  const linked = new Map();  // page -> the files it links to: every album must be reached
  for (const name of pages) {
    where = name;
    await page.goto(pathToFileURL(path.join(dir, name)).href, { waitUntil: 'load' });
    // Lazy thumbnails do not hold up the load event: have them all, then look.
    await page.evaluate(() => Promise.all([...document.images].map((i) => {
      i.loading = 'eager';
      return i.complete ? 0 : new Promise((done) => {
        i.addEventListener('load', done); i.addEventListener('error', done);
      });
    })));
    const facts = await page.evaluate(() => ({
      images: [...document.images].map((i) => {
        const c = document.createElement('canvas');
        c.width = c.height = 4;
        const g = c.getContext('2d');
        g.fillStyle = getComputedStyle(document.body).backgroundColor;
        g.fillRect(0, 0, 4, 4);
        if (i.naturalWidth) g.drawImage(i, 0, 0, 4, 4);
        return { src: i.src, alt: i.alt, inLink: !!i.closest('a'), loaded: i.naturalWidth > 0,
          size: `${i.getAttribute('width')} x ${i.getAttribute('height')}`,
          natural: `${i.naturalWidth} x ${i.naturalHeight}`,
          look: [...g.getImageData(0, 0, 4, 4).data].filter((_, k) => k % 4 !== 3) };
      }),
      links: [...document.querySelectorAll('a[href]')].map((a) => a.href),
      handlers: [...document.querySelectorAll('*')].flatMap((e) => [...e.attributes])
        .filter((a) => a.name.startsWith('on')).map((a) => `${a.name}="${a.value}"`),
    }));
    // The only handlers the page writers produce; any other came in with a name.
    for (const h of facts.handlers) {
      if (!/^on\w+="this\.className='(over|off)'; window\.status='[A-Za-z ]*'; return true;"$/.test(h)) {
        problems.push(`${name}: foreign handler ${h}`);
      }
    }
    for (const img of facts.images) {
      fileOf(img.src, problems, `${name} <img>`);
      if (!img.loaded) problems.push(`${name}: picture did not load: ${img.src}`);
      else if (img.size !== img.natural) {
        problems.push(`${name}: ${img.src} is ${img.size} on the page, ${img.natural} in the browser`);
      }
      looks[img.inLink ? 'thumb' : 'shown'].set(img.alt, img.look);
    }
    linked.set(name, facts.links.filter((h) => h.startsWith('file:'))
      .map((h) => path.relative(dir, fileURLToPath(h))));
    for (const [i, href] of facts.links.entries()) {
      if (/^https?:/.test(href)) continue;
      if (!href.startsWith('javascript:')) { fileOf(href, problems, `${name} <a>`); continue; }
      // A script link must open exactly one picture that is there.
      const opened = await page.evaluate((k) => {
        window.__opened = [];
        document.querySelectorAll('a[href]')[k].click();
        return new Promise((done) => setTimeout(() => done(window.__opened), 0));
      }, i);
      if (opened.length !== 1) problems.push(`${name}: ${href} opened ${opened.length} windows`);
      else fileOf(opened[0], problems, `${name} openpic`);
    }
    for (const v of await playVideos(page)) {
      fileOf(v.poster, problems, `${name} poster`);
      if (v.error || !(v.time > 0) || v.ready < 2) problems.push(`${name}: ${v.src} did not play ${v.error || ''}`);
      else if (v.size !== v.natural) problems.push(`${name}: ${v.src} is ${v.size} on the page, ${v.natural} in the browser`);
    }
    const pwned = await page.evaluate(() => window.__pwned);
    if (pwned !== undefined) problems.push(`${name}: injected script ran (__pwned=${pwned})`);
  }
  await page.close();
  const reached = new Set(['page1.html']);
  for (const at of reached) for (const to of linked.get(at) || []) if (to.endsWith('.html')) reached.add(to);
  for (const name of pages.filter((n) => path.basename(n) === 'page1.html' && !reached.has(n))) {
    problems.push(`${name}: album not reached from page1.html`);
  }
  for (const [name, look] of looks.thumb) {
    const shown = looks.shown.get(name);
    const diff = shown && look.reduce((sum, v, k) => sum + Math.abs(v - shown[k]), 0) / look.length;
    if (diff > LOOK_ALIKE) problems.push(`thumbnail of ${name} is not its picture as shown (${diff})`);
  }
  return problems;
}

// Every clip of a page, played muted until its time moves: its size as the browser turns it.
function playVideos(page) {
  return page.evaluate(() => Promise.all([...document.querySelectorAll('video')].map(async (v) => {
    const out = { src: v.src, poster: v.poster, size: `${v.getAttribute('width')} x ${v.getAttribute('height')}` };
    v.muted = true;
    try { await v.play(); } catch (e) { return { ...out, error: `${e.message} (${v.error && v.error.code})` }; }
    for (const start = performance.now(); v.currentTime === 0 && performance.now() - start < 10000;) {
      await new Promise((r) => setTimeout(r, 50));
    }
    return { ...out, time: v.currentTime, ready: v.readyState, natural: `${v.videoWidth} x ${v.videoHeight}` };
  })));
}

async function main() {
  const cli = arg('--cli');
  const source = arg('--source');
  const work = arg('--work');
  let chromium;
  try {
    ({ chromium } = await import('playwright-core'));
  } catch (e) {
    skip(`playwright-core is not in tests/browser/node_modules (run scripts/install-deps): ${e.message}`);
  }
  if (!fs.existsSync(CHROMIUM)) skip(`${CHROMIUM} not found (Debian package chromium)`);
  if (!cli || !fs.existsSync(cli)) skip(`folivant-build not built (${cli})`);

  fs.rmSync(work, { recursive: true, force: true });
  const pictures = path.join(work, 'pictures');
  fs.mkdirSync(pictures, { recursive: true });
  const hostile = HOSTILE.map((name, i) => {
    const ext = ['jpg', 'png', 'gif'][i % 3];
    fs.copyFileSync(path.join(here, 'fixtures', `small.${ext}`), path.join(pictures, `${name}.${ext}`));
    return path.join(pictures, `${name}.${ext}`);
  });
  // The fax-like TIFF is left out: a 4 x 4 look at its fine checks says nothing of its turning.
  const formatsDir = path.join(source, 'tests', 'data', 'formats');
  const formats = fs.readdirSync(formatsDir).filter((n) => !/^bilevel|\.ppm$/.test(n))
    .map((n) => path.join(formatsDir, n));
  // A small album tree: awkward folder names, a hidden folder, an album of sub-albums only.
  const tree = path.join(work, 'tree');
  for (const [rel, fixture] of [['a.jpg', 'jpg'], ['2024/Holiday #1 & 100%/b.png', 'png'],
    ['2024/Holiday #1 & 100%/c.jpg', 'jpg'], ['2024/only sub/x/d.gif', 'gif'], ['.hidden/e.jpg', 'jpg']]) {
    fs.mkdirSync(path.dirname(path.join(tree, rel)), { recursive: true });
    fs.copyFileSync(path.join(here, 'fixtures', `small.${fixture}`), path.join(tree, rel));
  }
  fs.copyFileSync(path.join(source, 'tests', 'data', 'clips', 'sideways.mp4'),
    path.join(tree, '2024', 'only sub', 'x', 'f.mp4'));
  fs.writeFileSync(path.join(tree, '2024', 'album.txt'), '<script>window.__pwned=5</script>\nA & B');
  const catalogs = [
    ['album tree', [tree], ['--albums', '--sort', 'date']],
    ['album tree, modern style', [tree], ['--albums', '--style', 'modern']],
    ['hostile names', hostile, []],
    ['hostile names, modern style', hostile, ['--style', 'modern']],
    ['hostile names, scripts on', hostile, ['--open-in-window', '--protect', '--rows', '2', '--cols', '3']],
    ['phone and camera formats', formats, ['--open-in-window', '--thumb-height', '64']],
    ['video clips', ['h264.mp4', 'vp9.webm', 'hevc.MOV', 'sideways.mp4', 'mpeg4.avi']
      .map((n) => path.join(source, 'tests', 'data', 'clips', n)), []],
    ['video clips, modern style', ['hevc.MOV', 'sideways.mp4', 'vp9.webm']
      .map((n) => path.join(source, 'tests', 'data', 'clips', n)), ['--style', 'modern']],
    ['demo', null, []],
  ];

  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'folivant-chromium-'));
  // Chromium is there: failing to start it is a failure, not a reason to skip.
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM, headless: true, timeout: 60000,
    // Thumbnails are read back through a canvas, which needs file access between files.
    args: ['--no-sandbox', '--disable-gpu', '--allow-file-access-from-files',
      '--autoplay-policy=no-user-gesture-required'],
  });
  // The catalog script opens pictures in a new window; record where instead.
  await context.addInitScript(() => { window.open = (url) => { window.__opened.push(new URL(url, document.baseURI).href); }; });
  let failed = 0;
  try {
    for (const [i, [name, list, extra]] of catalogs.entries()) {
      let dir = path.join(work, `catalog${i}`);
      const r = list
        ? spawnSync(cli, ['--no-settings', '--quiet', '--target', dir, ...extra, '--', ...list], { encoding: 'utf8' })
        : spawnSync(path.join(source, 'scripts', 'demo'), [], { encoding: 'utf8',
          env: { ...process.env, BUILD: path.dirname(path.dirname(path.resolve(cli))) } });
      if (!list) dir = path.join(source, 'demo-catalog');
      if (r.status !== 0) throw new Error(`${name}: build failed (exit ${r.status}): ${r.stderr}`);
      const problems = await checkCatalog(context, dir);
      console.log(`${name}: ${problems.length ? 'FAILED' : 'ok'}`);
      for (const p of problems) console.log(`  ${p}`);
      failed += problems.length;
    }
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  if (failed) process.exit(1);
  fs.rmSync(work, { recursive: true, force: true });
}

main().catch((e) => { console.log(`FAILED: ${e.stack || e}`); process.exit(1); });
