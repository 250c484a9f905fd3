// Opens every page of a built catalog in headless Chromium and checks what a visitor would
// meet: every picture shows, at the size its page gives it, its thumbnail looks like the
// picture as the browser shows it (turned by its EXIF orientation), every link leads to a file
// that is there, and no script runs that the pages were not written with.
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL, fileURLToPath } from 'node:url';

export const CHROMIUM = process.env.FOLIVANT_CHROMIUM || '/usr/bin/chromium';

const LAUNCH_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  // Pictures are read back through a canvas to compare thumbnails with what the page shows.
  '--allow-file-access-from-files',
];

// Mean difference per colour sample, 0 to 255, between a thumbnail and its picture, both
// drawn 4 x 4 over the page background, beyond which the thumbnail is not that picture as the
// browser shows it (turned or mirrored).
const LOOK_ALIKE = 24;

// The only scripts and event handlers the page writers produce.
const ALLOWED_SCRIPTS = [
  /^\s*function openpic\(Data,picwidth,picheight\) \{/,
  /^\s*if \(document\.all\) document\.body\.onmousedown=new Function\(/,
];
const ALLOWED_HANDLER =
  /^this\.className='(over|off)'; window\.status='[A-Za-z ]*'; return true;$/;
const HOME_PAGE = /^https?:\/\//;

export async function launchBrowser() {
  const { chromium } = await import('playwright-core');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'folivant-chromium-'));
  // The profile folder is given on the command line; a persistent context is how
  // playwright-core takes one.
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM,
    headless: true,
    args: LAUNCH_ARGS,
    ignoreDefaultArgs: ['--enable-automation'],
    timeout: 60000,
  });
  await context.addInitScript(() => {
    window.__opened = [];
    // The catalog script opens pictures in a new window; record where instead.
    window.open = (url) => {
      window.__opened.push(new URL(String(url), document.baseURI).href);
      return null;
    };
  });
  return {
    context,
    async close() {
      await context.close();
      fs.rmSync(profile, { recursive: true, force: true });
    },
  };
}

function fileOfUrl(href) {
  const url = new URL(href);
  if (url.protocol !== 'file:') return { error: `not a file address: ${href}` };
  if (url.search !== '' || url.hash !== '') {
    return { error: `address has a query or fragment (name not encoded?): ${href}` };
  }
  return { file: fileURLToPath(url) };
}

function checkTarget(href, problems, what) {
  const { file, error } = fileOfUrl(href);
  if (error) {
    problems.push(`${what}: ${error}`);
  } else if (!fs.existsSync(file) || !fs.statSync(file).isFile()) {
    problems.push(`${what}: ${href} names no file (${file})`);
  }
  return file;
}

// Checks one catalog folder. Returns { problems, pages, pictures, titles, thumbnails }.
export async function checkCatalog(browser, dir) {
  const problems = [];
  const pages = fs.readdirSync(dir).filter((n) => n.endsWith('.html')).sort();
  const titles = [];
  let thumbnails = 0;
  const thumbLooks = new Map();  // alt text (the picture's name) -> 4 x 4 colours
  const pictureLooks = new Map();
  if (!pages.includes('page1.html')) problems.push(`${dir}: no page1.html`);

  // One tab for the whole catalog; each navigation starts a fresh window object.
  const page = await browser.context.newPage();
  let where = '';
  let pageProblems = [];
  page.on('dialog', async (d) => {
    pageProblems.push(`${where}: a dialog opened: ${d.type()} "${d.message()}"`);
    await d.dismiss().catch(() => {});
  });
  page.on('pageerror', (e) => pageProblems.push(`${where}: script error: ${e.message}`));

  for (const name of pages) {
    const file = path.join(dir, name);
    where = name;
    pageProblems = [];
    await page.goto(pathToFileURL(file).href, { waitUntil: 'load' });

    const facts = await page.evaluate(() => {
      const attrs = [];
      for (const el of document.querySelectorAll('*')) {
        for (const a of el.attributes) {
          if (a.name.startsWith('on')) attrs.push({ tag: el.tagName, name: a.name, value: a.value });
        }
      }
      return {
        title: document.title,
        pwned: window.__pwned,
        images: [...document.images].map((i) => ({
          src: i.src,
          alt: i.getAttribute('alt'),
          loaded: i.complete && i.naturalWidth > 0,
          inLink: !!i.closest('a'),
          width: Number(i.getAttribute('width')),
          height: Number(i.getAttribute('height')),
          naturalWidth: i.naturalWidth,
          naturalHeight: i.naturalHeight,
          look: (() => {
            if (!i.complete || i.naturalWidth === 0) return null;
            const c = document.createElement('canvas');
            c.width = 4;
            c.height = 4;
            const g = c.getContext('2d');
            g.fillStyle = getComputedStyle(document.body).backgroundColor;
            g.fillRect(0, 0, 4, 4);
            g.imageSmoothingQuality = 'high';
            g.drawImage(i, 0, 0, 4, 4);
            return [...g.getImageData(0, 0, 4, 4).data].filter((_, k) => k % 4 !== 3);
          })(),
        })),
        links: [...document.querySelectorAll('a[href]')].map((a) => ({
          raw: a.getAttribute('href'),
          href: a.href,
        })),
        scripts: [...document.scripts].map((s) => s.textContent),
        handlers: attrs,
        endsHtml: document.documentElement.outerHTML.length > 0,
      };
    });

    for (const img of facts.images) {
      if (!img.loaded) pageProblems.push(`${where}: picture did not load: ${img.src}`);
      checkTarget(img.src, pageProblems, `${where} <img>`);
      if (img.loaded && (img.width !== img.naturalWidth || img.height !== img.naturalHeight)) {
        pageProblems.push(`${where}: ${img.src} is ${img.width} x ${img.height} on the page but ` +
                          `${img.naturalWidth} x ${img.naturalHeight} as the browser shows it`);
      }
      if (img.look) (img.inLink ? thumbLooks : pictureLooks).set(img.alt, img.look);
    }
    for (const s of facts.scripts) {
      if (!ALLOWED_SCRIPTS.some((re) => re.test(s))) {
        pageProblems.push(`${where}: unexpected script: ${s.slice(0, 120)}`);
      }
    }
    for (const h of facts.handlers) {
      if (!ALLOWED_HANDLER.test(h.value)) {
        pageProblems.push(`${where}: unexpected handler ${h.tag}.${h.name}="${h.value}"`);
      }
    }

    const scriptLinks = [];
    facts.links.forEach((l, i) => {
      if (/^javascript:/i.test(l.raw)) {
        scriptLinks.push(i);
      } else if (!HOME_PAGE.test(l.raw)) {
        checkTarget(l.href, pageProblems, `${where} <a>`);
      }
    });
    // A script link must open a picture that is there: follow each one.
    for (const i of scriptLinks) {
      const raw = facts.links[i].raw;
      if (!/^javascript:openpic\(/.test(raw)) {
        pageProblems.push(`${where}: unexpected script link: ${raw}`);
        continue;
      }
      const opened = await page.evaluate((index) => {
        window.__opened = [];
        document.querySelectorAll('a[href]')[index].click();
        return new Promise((resolve) => setTimeout(() => resolve(window.__opened.slice()), 0));
      }, i);
      if (opened.length !== 1) {
        pageProblems.push(`${where}: script link opened ${opened.length} windows: ${raw}`);
      } else {
        checkTarget(opened[0], pageProblems, `${where} openpic`);
      }
    }

    const pwned = await page.evaluate(() => window.__pwned);
    if (pwned !== undefined) pageProblems.push(`${where}: injected script ran (__pwned=${pwned})`);

    if (/^page\d+\.html$/.test(name)) {
      thumbnails += facts.images.length;
    } else {
      titles.push(facts.title);
      const big = facts.images.filter((i) => !i.inLink);
      if (big.length !== 1) {
        pageProblems.push(`${where}: expected one picture, found ${big.length}`);
      } else if (big[0].alt !== facts.title) {
        pageProblems.push(`${where}: alt "${big[0].alt}" differs from title "${facts.title}"`);
      }
    }

    const raw = fs.readFileSync(file, 'latin1');
    if (!raw.endsWith('</html>\r\n')) pageProblems.push(`${where}: does not end with </html> CR LF`);

    problems.push(...pageProblems);
  }
  await page.close();
  for (const [name, look] of thumbLooks) {
    const shown = pictureLooks.get(name);
    if (!shown) continue;
    const diff = look.reduce((sum, v, k) => sum + Math.abs(v - shown[k]), 0) / look.length;
    if (diff > LOOK_ALIKE) {
      problems.push(`thumbnail of ${name} does not look like the picture its page shows ` +
                    `(mean difference ${diff.toFixed(1)})`);
    }
  }
  return { problems, pages: pages.length, titles, thumbnails };
}
