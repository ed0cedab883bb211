// The room remote's page in a real browser: the system's Chromium, headless, driven through
// playwright-core (which downloads no browser). Run by the C++ test, which owns the server and
// the simulated amplifier and checks the wire; this script does what an installer's finger
// would and prints one JSON line per step:
//
//   node remote-page.mjs URL [SCREENSHOT.png]
//
// URL is the page's address with its token, as the QR code carries it. Exit status 0 when every
// step found what it looked for, 1 otherwise (the failing step says why).

import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

const [url, screenshot] = process.argv.slice(2);
const executablePath = process.env.TALVO_CHROMIUM || '/usr/bin/chromium';
const say = (step, data) => console.log(JSON.stringify({ step, ...data }));
const profile = mkdtempSync(join(tmpdir(), 'talvo-remote-chromium-'));
// A loaded machine makes a headless browser slow: every wait is generous.
const WAIT = 60000;

let context;
let ok = true;
try {
  context = await chromium.launchPersistentContext(profile, {
    executablePath,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run'],
    viewport: { width: 360, height: 740 },
    deviceScaleFactor: 2,
    isMobile: false,
    hasTouch: false,
    timeout: WAIT,
  });
  context.setDefaultTimeout(WAIT);
  const page = context.pages()[0] || await context.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push(String(e)));
  page.on('dialog', (d) => { problems.push('dialog: ' + d.message()); d.dismiss(); });

  // The QR code's address: the token becomes a cookie, the address bar loses it.
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  await page.waitForFunction(() => document.getElementById('status').textContent === 'ONLINE');
  say('loaded', { address: page.url(), status: await page.textContent('#status') });

  // Nothing to touch is smaller than 44 px (what is shown at phone width).
  const small = await page.evaluate(() => {
    const out = [];
    for (const el of document.querySelectorAll('button, select, input, .peq .hit')) {
      const r = el.getBoundingClientRect();
      if (r.width === 0 && r.height === 0) continue;  // not shown (another tab)
      if (r.height < 43.5 || r.width < 43.5) out.push((el.id || el.className.baseVal || el.tagName) + ' ' + r.width + 'x' + r.height);
    }
    return out;
  });
  say('touchTargets', { small });
  if (small.length) ok = false;
  const wide = await page.evaluate(() => document.documentElement.scrollWidth);
  say('width', { scrollWidth: wide });
  if (wide > 360) ok = false;

  // The left gain: unmuted if need be, then its slider dragged with the mouse.
  if (await page.$eval('#mute-left', (b) => b.classList.contains('active'))) {
    await page.click('#mute-left');
    await page.waitForFunction(() => !document.getElementById('mute-left').classList.contains('active'));
  }
  await page.waitForFunction(() => !document.getElementById('gain-left').disabled);
  const gainBox = await page.locator('#gain-left').boundingBox();
  const yGain = gainBox.y + gainBox.height / 2;
  await page.mouse.move(gainBox.x + gainBox.width * 0.5, yGain);
  await page.mouse.down();
  await page.mouse.move(gainBox.x + gainBox.width * 0.35, yGain, { steps: 12 });
  await page.mouse.move(gainBox.x + gainBox.width * 0.3, yGain, { steps: 4 });
  await page.mouse.up();
  const gain = Number(await page.inputValue('#gain-left')) / 10;
  await page.waitForFunction((g) => document.getElementById('gain-text-left').textContent.startsWith(g.toFixed(1)), gain);
  say('gain', { db: gain });

  // Band 2 of the left PEQ: its marker dragged right and down on the curve.
  const hit = page.locator('#marker-2-left rect.hit');
  const before = await page.textContent('#band-text-left');
  const box = await hit.boundingBox();
  const cx = box.x + box.width / 2;
  const cy = box.y + box.height / 2;
  await page.mouse.move(cx, cy);
  await page.mouse.down();
  await page.mouse.move(cx + 70, cy + 30, { steps: 15 });
  await page.mouse.up();
  await page.waitForFunction((b) => {
    const t = document.getElementById('band-text-left').textContent;
    return t.startsWith('2: ') && t !== b;
  }, before);
  // The curve follows from the program's own response code once the band arrived.
  await page.waitForTimeout(300);
  say('peq', { before, after: await page.textContent('#band-text-left') });

  if (screenshot) {
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.waitForTimeout(200);
    await page.screenshot({ path: screenshot });
    say('screenshot', { path: screenshot });
  }
  // The memory: read, a slot whose name looks like markup shown as text, and a recall.
  await page.click('#tab-memory');
  await page.click('#refresh');
  // Read whole: every slot answered (a name, or "(empty)").
  await page.waitForFunction(() => [...document.querySelectorAll('#slots .slot-name')].every((e) => e.textContent !== ''));
  const names = await page.$$eval('#slots .slot-name', (els) => els.map((e) => e.textContent));
  const markup = await page.$$eval('#slots b, #slots img, #slots script', (els) => els.length);
  say('memory', { names, markup });
  if (markup) ok = false;
  const slot = Number(process.env.TALVO_RECALL_SLOT || 3);
  await page.click('#recall-' + slot);
  await page.waitForFunction((n) => document.getElementById('slot-' + n).classList.contains('current'), slot);
  say('recall', { slot });

  say('problems', { problems });
  if (problems.length) ok = false;
} catch (e) {
  ok = false;
  say('failed', { error: String(e && e.stack || e) });
} finally {
  if (context) await context.close().catch(() => {});
  rmSync(profile, { recursive: true, force: true });
}
process.exit(ok ? 0 : 1);
