// The station package's pages under Wine, in the folder
// tests/other_vendor/check-package.sh unzipped it to beside the other-vendor
// DLLs: the line report vorn-report.exe wrote there, and vorn-host.exe
// --serve recording to a database, whose page counts what the database holds.
//   VORN_PACKAGE_DIR=that folder   VORN_WINE_RUN=scripts/wine-run.sh
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { spawn, execFileSync } = require('node:child_process');
const path = require('node:path');
const fs = require('node:fs');
const { launch, openPage } = require('./browser.js');
const { watchServing } = require('./vorn-host.js');

const root = path.resolve(__dirname, '../..');
const dir = process.env.VORN_PACKAGE_DIR || path.join(root, 'build-win/package-check');
const wineRun = process.env.VORN_WINE_RUN || path.join(root, 'scripts/wine-run.sh');
const sql = (db, query) => execFileSync('sqlite3', ['-separator', '|', path.join(dir, db), query],
  { encoding: 'utf8' }).trim().split('|');

// The host's /state once check(state) holds.
async function stateWhen(url, check, timeoutMs = 60000) {
  const until = Date.now() + timeoutMs;
  for (;;) {
    const state = await (await fetch(new URL('/state', url))).json();
    if (check(state)) return state;
    if (Date.now() > until) throw new Error(`/state never came: ${JSON.stringify(state)}`);
    await new Promise((resolve) => setTimeout(resolve, 250));
  }
}

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser.close(); });

test('the line report of the station\'s 20 units renders', async () => {
  const { page, problems } = await openPage(browser);
  await page.goto('file://' + path.join(dir, 'line-report.html'));
  const shot = await page.screenshot();
  assert.ok(shot.length > 20000, `a screenshot of ${shot.length} bytes looks blank`);
  const cells = await page.locator('table.counts td').allTextContents();
  const [units, attempts] = sql('results.sqlite', 'SELECT count(DISTINCT serial), count(*) FROM unit');
  assert.deepStrictEqual(cells.slice(0, 2), [units, attempts]);
  assert.strictEqual(units, '20');
  assert.deepStrictEqual(problems, []);
});

test('--serve with the database: the page counts what the database holds', async () => {
  fs.rmSync(path.join(dir, 'serve.sqlite'), { force: true });
  const host = spawn(wineRun, ['vorn-host.exe', '--serve', '0', '--station', 'line 3', '--no-health-check',
    '--db', 'serve.sqlite', '--operator', 'pkg-op', '--params', 'station.ini', 'quick.plan'],
  { cwd: dir, env: { ...process.env, VORN_WINE_TIMEOUT: '180' },
    stdio: ['ignore', 'pipe', 'pipe'] });
  host.stdout.resume();
  const serving = watchServing(host, 'vorn-host.exe');
  const { exited } = serving;
  const url = await serving.url;
  try {
    const { page, problems } = await openPage(browser);
    await page.goto(url);
    // The first serial again, as its unit's second attempt (after a PASS,
    // once the operator says to test it again). The tally and the database
    // count it alike.
    const serials = ['SV-0001', 'SV-0002', 'SV-0003', 'SV-0001'];
    for (let i = 0; i < serials.length; ++i) {
      await page.locator('#serial').fill(serials[i]);
      await page.locator('#serial').press('Enter');
      if (i === 3) {
        await page.waitForFunction(() => window.vornState.panels[0].confirm !== null ||
          window.vornState.attempts === 4, null, { timeout: 60000 });
        if (await page.locator('.confirm-yes').isVisible()) await page.locator('.confirm-yes').click();
      }
      // Each attempt recorded before the next serial is scanned.
      await stateWhen(url, (s) => s.attempts === i + 1 && s.state === 'idle');
    }
    const state = await stateWhen(url, () => true);
    const shown = { units: await page.locator('#units').textContent(), fpy: await page.locator('#fpy').textContent() };
    await page.locator('#stop').click();
    await page.waitForFunction(() => document.querySelector('#state').textContent === 'stopped', null,
      { timeout: 30000 });
    assert.strictEqual(await exited, 0, serving.stderr());

    // Read once the host is gone: Wine's file locks are not Linux's, so a
    // Linux reader beside a Windows writer may see an earlier state.
    const [units, attempts] = sql('serve.sqlite', 'SELECT sum(first_attempt), count(*) FROM unit').map(Number);
    assert.strictEqual(attempts, serials.length);
    assert.strictEqual(units, 3);
    assert.strictEqual(state.units, units);
    assert.strictEqual(state.attempts, attempts);
    // The yield waits for ten units.
    assert.strictEqual(state.firstPassYield, null);
    assert.deepStrictEqual(shown, { units: String(units), fpy: '\u2014' });
    assert.deepStrictEqual(problems, []);
  } finally {
    if (host.exitCode === null) host.kill('SIGTERM');
  }
});
