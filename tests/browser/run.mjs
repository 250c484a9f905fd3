// Builds catalogs with folivant-build from pictures with awkward names and from the sample
// pictures, then checks every page in headless Chromium (check-catalog.mjs).
//
//   node run.mjs --cli BUILD/bin/folivant-build --source SOURCE_DIR --work WORK_DIR
//
// Exits 0 when every check passes, 1 on a failed check, 77 when the browser cannot be had.
import fs from 'node:fs';
import path from 'node:path';
import { spawnSync } from 'node:child_process';
import { fileURLToPath } from 'node:url';

const SKIP = 77;
const here = path.dirname(fileURLToPath(import.meta.url));

function arg(name) {
  const i = process.argv.indexOf(name);
  return i > 0 ? process.argv[i + 1] : undefined;
}

function skip(why) {
  console.log(`SKIPPED: ${why}`);
  process.exit(SKIP);
}

// Names a user might give pictures: markup characters, URL delimiters, quotes that would end
// an attribute or a script string, accents, a leading dash. Some would run script if written
// into a page unescaped; the checker notices when they do.
export const HOSTILE_NAMES = [
  ['small.jpg', 'blank name.jpg'],
  ['small.png', 'amp&ersand.png'],
  ['small.gif', 'less<than>greater.gif'],
  ['small.jpg', 'double"quote.jpg'],
  ['small.png', "single'quote.png"],
  ['small.gif', 'hash#tag.gif'],
  ['small.jpg', 'per%25cent.jpg'],
  ['small.png', '100%.png'],
  ['small.gif', 'question?mark.gif'],
  ['small.jpg', 'Ünïcödé ñame 写真.jpg'],
  ['small.png', '-leading-dash.png'],
  ['small.gif', 'entity&amp;lt.gif'],
  ['small.jpg', 'back\\slash.jpg'],
  ['small.png', '<img src=x onerror=window.__pwned=1>.png'],
  ['small.gif', '" onmouseover="window.__pwned=2" x=".gif'],
  ['small.jpg', "q');window.__pwned=3;('.jpg"],
  ['small.png', "q\\');window.__pwned=4;-.png"],
  ['small.gif', 'plain_name-1.gif'],
];

function run(cmd, args) {
  const r = spawnSync(cmd, args, { encoding: 'utf8', timeout: 120000 });
  if (r.error) throw r.error;
  return r;
}

function buildCatalog(cli, target, pictures, extra) {
  fs.rmSync(target, { recursive: true, force: true });
  fs.mkdirSync(target, { recursive: true });
  const args = ['--no-settings', '--quiet', '--target', target, ...extra, '--', ...pictures];
  const r = run(cli, args);
  if (r.status !== 0) {
    throw new Error(`folivant-build failed (exit ${r.status}): ${r.stderr}${r.stdout}`);
  }
}

async function main() {
  const cli = arg('--cli');
  const source = arg('--source') || path.resolve(here, '..', '..');
  const work = arg('--work') || path.join(here, 'work');

  let browserLib;
  try {
    browserLib = await import('./check-catalog.mjs');
    await import('playwright-core');
  } catch (e) {
    skip(`playwright-core is not installed in tests/browser/node_modules (run scripts/install-deps): ${e.message}`);
  }
  if (!fs.existsSync(browserLib.CHROMIUM)) {
    skip(`${browserLib.CHROMIUM} not found (Debian package chromium; run scripts/install-deps)`);
  }
  if (!cli || !fs.existsSync(cli)) skip(`folivant-build not built (${cli})`);

  fs.rmSync(work, { recursive: true, force: true });
  const pictures = path.join(work, 'pictures');
  fs.mkdirSync(pictures, { recursive: true });
  const hostile = HOSTILE_NAMES.map(([from, to]) => {
    const p = path.join(pictures, to);
    fs.copyFileSync(path.join(here, 'fixtures', from), p);
    return p;
  });
  const demoDir = path.join(source, 'examples', 'pictures');
  // Photos as phones and cameras make them: the eight EXIF orientations, HEIC, AVIF, WebP,
  // TIFF, PNG with orientation, wide-gamut profiles. (Not the fax-like black-and-white TIFF:
  // a 4 x 4 look at its fine checks says nothing about which way it is turned.)
  const formatsDir = path.join(source, 'tests', 'data', 'formats');
  const formats = fs.readdirSync(formatsDir)
    .filter((n) => /\.(jpg|heic|avif|webp|tif|png)$/.test(n) && !n.startsWith('bilevel'))
    .map((n) => path.join(formatsDir, n));
  const demo = fs.readdirSync(demoDir)
    .filter((n) => /\.(jpe?g|gif|png)$/i.test(n))
    .map((n) => path.join(demoDir, n));

  const catalogs = [
    { name: 'hostile names', dir: path.join(work, 'plain'), pictures: hostile, extra: [] },
    {
      name: 'hostile names, scripts on',
      dir: path.join(work, 'scripts'),
      pictures: hostile,
      extra: ['--open-in-window', '--protect', '--rows', '2', '--cols', '3', '--filter', 'lanczos3'],
    },
    {
      name: 'phone and camera formats',
      dir: path.join(work, 'formats'),
      pictures: formats,
      extra: ['--open-in-window', '--thumb-height', '64'],
    },
    // The demo as `make demo` makes it: scripts/demo writes SOURCE/demo-catalog.
    { name: 'demo', dir: path.join(source, 'demo-catalog'), pictures: demo, demo: true },
  ];

  // Chromium is there: failing to start it is a failure, not a reason to skip.
  const browser = await browserLib.launchBrowser();

  let failed = 0;
  try {
    for (const c of catalogs) {
      if (c.demo) {
        const r = spawnSync(path.join(source, 'scripts', 'demo'), [], {
          encoding: 'utf8',
          timeout: 120000,
          env: { ...process.env, BUILD: path.dirname(path.dirname(path.resolve(cli))) },
        });
        if (r.status !== 0) throw new Error(`scripts/demo failed (exit ${r.status}): ${r.stderr}`);
      } else {
        buildCatalog(cli, c.dir, c.pictures, c.extra);
      }
      const r = await browserLib.checkCatalog(browser, c.dir);
      const names = c.pictures.map((p) => path.basename(p));
      // Every picture in a thumbnail cell, every picture page titled with its name.
      if (r.thumbnails !== names.length) {
        r.problems.push(`${r.thumbnails} thumbnails on the catalog pages for ${names.length} pictures`);
      }
      const want = names.map((n) => n.replace(/\s+/g, ' ').trim()).sort();
      const got = r.titles.slice().sort();
      for (const n of want) {
        if (!got.includes(n)) r.problems.push(`no picture page titled ${JSON.stringify(n)}`);
      }
      if (got.length !== want.length) {
        r.problems.push(`${got.length} picture pages for ${want.length} pictures`);
      }
      const status = r.problems.length ? 'FAILED' : 'ok';
      console.log(`${c.name}: ${r.pages} pages, ${r.thumbnails} thumbnails: ${status}`);
      for (const p of r.problems) console.log(`  ${p}`);
      failed += r.problems.length;
    }
  } finally {
    await browser.close();
  }
  if (failed) {
    console.log(`${failed} problems found`);
    process.exit(1);
  }
  fs.rmSync(work, { recursive: true, force: true });
  console.log('every page checked: pictures load, links resolve, no foreign script ran');
}

main().catch((e) => {
  console.log(`FAILED: ${e.stack || e}`);
  process.exit(1);
});
