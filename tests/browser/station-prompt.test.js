// The operator's screen of a real Windows station: vorn-host.exe --serve under
// Wine, on the other-vendor equipment, with a phone that is off until the
// library's own message box asks for it. The page cannot answer that box: it
// says that a prompt is open on the station; the operator answers it at the
// station (answer_box.exe, in the same Wine), and the unit goes on to PASS.
//   VORN_STATION=folder of vorn-host.exe and answer_box.exe
//   VORN_WINE_RUN=scripts/wine-run.sh   (run from the project's root)
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { spawn, execFile } = require('node:child_process');
const path = require('node:path');
const { launch, openPage } = require('./browser.js');
const { watchServing } = require('./vorn-host.js');

const root = path.resolve(__dirname, '../..');
const station = process.env.VORN_STATION || path.join(root, 'build-win/other-vendor');
const wineRun = process.env.VORN_WINE_RUN || path.join(root, 'scripts/wine-run.sh');
const docs = process.env.VORN_DOCS_DIR || path.join(root, 'docs');
const env = { ...process.env, VORN_OTHER_VENDOR_PHONE: 'off-until-prompt', VORN_WINE_TIMEOUT: '240' };

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser.close(); });

test('the library\'s own prompt is said on the page and answered at the station', async () => {
  // The prompt is the matter here; recording is station-package.test.js's. A
  // real station starts no production session without its verification:
  // this one skips the check. The operator is given: no login is asked.
  const host = spawn(wineRun, [path.join(station, 'vorn-host.exe'), '--serve', '0', '--station', 'bench7', '--no-db',
    '--no-health-check', '--operator', 'bench-op', '--params', 'examples/station.ini', 'examples/typical.plan'],
  { cwd: root, env, stdio: ['ignore', 'pipe', 'pipe'] });
  host.stdout.resume();
  const serving = watchServing(host, 'vorn-host.exe');
  const { exited } = serving;
  const url = await serving.url;
  try {
    const { page, problems } = await openPage(browser);
    await page.goto(url);
    // A real station, not the simulated one, once the first state came.
    await page.waitForFunction(() => document.querySelector('#station').textContent === 'bench7');
    await page.locator('#serial').fill('OV-PROMPT-1');
    await page.locator('#serial').press('Enter');

    const notice = page.locator('#station-prompt');
    await notice.waitFor({ state: 'visible', timeout: 60000 });
    assert.strictEqual(await page.locator('#station-prompt-text').textContent(), 'Turn on phone!');
    assert.strictEqual(await page.locator('#state').textContent(), 'running');
    assert.strictEqual(await page.locator('#prompt').evaluate((d) => d.open), false, 'the page offers no OK of its own');
    await page.screenshot({ path: path.join(docs, 'operator-station-prompt.png') });

    // The operator presses OK on the station's screen.
    const said = await new Promise((resolve, reject) => {
      execFile(wineRun, [path.join(station, 'answer_box.exe'), 'Information', '30'], { cwd: root, env },
        (e, out, stderr) => (e ? reject(new Error(`answer_box: ${e.message} ${stderr}`)) : resolve(out)));
    });
    assert.match(said, /Turn on phone!/);
    await notice.waitFor({ state: 'hidden', timeout: 10000 });
    await page.waitForFunction(() => document.querySelector('#verdict').textContent === 'PASS', null, { timeout: 120000 });
    assert.strictEqual(await page.locator('#steps li.PASS').count(), 21);

    await page.locator('#stop').click();
    await page.waitForFunction(() => document.querySelector('#state').textContent === 'stopped', null, { timeout: 30000 });
    assert.strictEqual(await exited, 0, serving.stderr());
    assert.deepStrictEqual(problems, []);
  } finally {
    if (host.exitCode === null) host.kill('SIGTERM');
  }
});
