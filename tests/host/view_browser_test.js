// The viewer's page in a real browser: Debian's chromium driven by
// playwright-core. Opens the page of `tavelo view`, scrubs to frame 12 and
// compares the shown image's bytes with the file `tavelo frame` writes,
// hides a layer and sees the frame change and undo restore it, plays for a
// second and counts the frames shown. Skips (exit 77) when chromium or
// playwright-core is not installed.
//   node view_browser_test.js TAVELO EXAMPLES
'use strict';
const { spawn, execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const [tavelo, examples] = process.argv.slice(2);
const SKIP = 77;

function find(names) {
  for (const dir of (process.env.PATH || '').split(':'))
    for (const n of names) if (fs.existsSync(path.join(dir, n))) return path.join(dir, n);
  return null;
}

const browserPath = find(['chromium', 'chromium-browser']);
let playwright = null;
try {
  playwright = require('playwright-core');
} catch (e) {
  playwright = null;
}
if (!browserPath || !playwright) {
  console.log(`skipped: the browser test needs ${!browserPath ? 'chromium (apt install chromium)' : ''}` +
              `${!browserPath && !playwright ? ' and ' : ''}${!playwright ? 'playwright-core (npm install playwright-core)' : ''}`);
  process.exit(SKIP);
}

function fail(message) {
  console.error('FAILED: ' + message);
  process.exitCode = 1;
}

async function main() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'view-browser-'));
  const description = path.join(examples, 'layered.json');
  const png = path.join(dir, 'f12.png');
  execFileSync(tavelo, ['frame', description, '-c', 'Main', '-t', '12f', '-o', png, '-q']);
  const server = spawn(tavelo, ['view', description, '-c', 'Main', '--port', '0'], { stdio: ['ignore', 'pipe', 'inherit'] });
  const url = await new Promise((resolve, reject) => {
    let text = '';
    server.stdout.on('data', (d) => {
      text += d;
      const m = text.match(/http:\/\/\S+/);
      if (m) resolve(m[0]);
    });
    server.on('exit', () => reject(new Error('tavelo view ended: ' + text)));
  });
  const browser = await playwright.chromium.launch({ executablePath: browserPath, args: ['--no-sandbox'] });
  try {
    const page = await browser.newPage();
    await page.goto(url);
    await page.waitForFunction(() => window.tavelo && window.tavelo.comp && window.tavelo.shownFrame === 0);

    // Scrub to frame 12: the image shown is the file `tavelo frame` writes.
    const shownBytes = async () => page.evaluate(async () => {
      const r = await fetch(document.getElementById('frame').src);
      return Array.from(new Uint8Array(await r.arrayBuffer()));
    });
    await page.evaluate(() => {
      const s = document.getElementById('scrub');
      s.value = 12;
      s.dispatchEvent(new Event('input'));
    });
    await page.waitForFunction(() => window.tavelo.shownFrame === 12);
    const expected = Array.from(fs.readFileSync(png));
    const before = await shownBytes();
    if (JSON.stringify(before) !== JSON.stringify(expected)) fail('frame 12 shown differs from `tavelo frame`');

    // Hide the top layer: the frame changes; undo brings it back.
    const revision = await page.evaluate(() => window.tavelo.revision);
    await page.click('input[data-layer="1"][data-switch="video"]');
    await page.waitForFunction((r) => window.tavelo.shownRevision > r && window.tavelo.shownFrame === 12, revision);
    const hidden = await shownBytes();
    if (JSON.stringify(hidden) === JSON.stringify(before)) fail('hiding layer 1 did not change the frame');
    const revision2 = await page.evaluate(() => window.tavelo.revision);
    await page.click('#undo');
    await page.waitForFunction((r) => window.tavelo.shownRevision > r && window.tavelo.shownFrame === 12, revision2);
    const restored = await shownBytes();
    if (JSON.stringify(restored) !== JSON.stringify(before)) fail('undo did not restore the frame');

    // Play until frames have been shown (however slowly the server renders:
    // a sanitized build under load shows few a second): every frame time the
    // page's clock passed is a frame shown or one counted as dropped.
    await page.keyboard.press('Home');
    await page.keyboard.press(' ');
    await page.waitForTimeout(1000);
    await page.waitForFunction(() => window.tavelo.shown >= 2, null, { timeout: 30000 });
    await page.keyboard.press(' ');
    const { shown, dropped, playedMs, fps } = await page.evaluate(() => ({
      shown: window.tavelo.shown, dropped: window.tavelo.dropped,
      playedMs: window.tavelo.playedMs, fps: window.tavelo.comp.fps }));
    console.log(`played ${playedMs.toFixed(0)} ms: ${shown} frames shown, ${dropped} dropped`);
    if (shown < 2) fail('playing showed fewer than 2 frames');
    const passed = Math.floor((playedMs / 1000) * fps) + 1;
    if (shown + dropped !== passed) fail(`${shown} shown + ${dropped} dropped, but ${passed} frame times passed`);
  } finally {
    await browser.close();
    server.kill('SIGINT');
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

main().catch((e) => {
  fail(e.stack || String(e));
});
