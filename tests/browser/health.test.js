// The station's health on the operator's screen, in Debian's headless
// Chromium against vorn-host --serve on the simulated station: the header
// says the last verification and a drifted cable's reading raises a yellow
// alarm; three units in ERROR in a row stop the station, and only the
// technician's code lifts the stop. The screenshots of docs/station-health.md
// are taken here.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { spawn, spawnSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { launch, openPage } = require('./browser.js');
const { watchServing } = require('./vorn-host.js');

const host = process.env.VORN_HOST || path.resolve(__dirname, '../../build/bin/vorn-host');
const root = path.resolve(__dirname, '../..');
const docs = process.env.VORN_DOCS_DIR || path.join(root, 'docs');
const examples = path.join(root, 'examples');
const common = ['--fast', '--station', 'bench3', '--settings', 'settings.ini',
  '--params', path.join(examples, 'station.ini')];

let browser;
let cwd;
before(async () => {
  browser = await launch();
  // A station's folder: its settings, a verification with the golden unit
  // on record, and 30 units of history for the alarms' baselines.
  cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'vorn-health-'));
  fs.writeFileSync(path.join(cwd, 'settings.ini'), '[Health]\nAcknowledgeCode=4711\n');
  for (const args of [['--verify', path.join(examples, 'golden-unit.ini'), path.join(examples, 'calibration.plan')],
    ['--units', '30', path.join(examples, 'typical.plan')]]) {
    const r = spawnSync(host, ['--quiet', ...common, ...args], { cwd, encoding: 'utf8' });
    assert.strictEqual(r.status, 0, r.stderr);
  }
});
after(async () => {
  await browser.close();
  fs.rmSync(cwd, { recursive: true, force: true });
});

// The operator is given on the command line: the page asks for no login.
function serve(extra) {
  const child = spawn(host, ['--serve', '0', '--operator', 'health-op', ...common, ...extra,
    path.join(examples, 'typical.plan')],
    { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
  child.stdout.resume();
  const { url, exited } = watchServing(child);
  return { child, url, exited };
}

async function stop(h) {
  if (h.child.exitCode === null) h.child.kill('SIGINT');
  return h.exited;
}

async function scan(page, serial) {
  await page.locator('#serial').fill(serial);
  await page.locator('#serial').press('Enter');
  await page.waitForFunction((s) => document.querySelector('#banner-serial').textContent === `Serial ${s}` &&
    document.querySelector('#state').textContent === 'idle', serial);
}

test('the header says the last verification; a drifted cable raises a yellow alarm', async () => {
  const h = serve(['--scenario', 'cable-drift']);
  try {
    const { page, problems } = await openPage(browser);
    await page.goto(await h.url);
    await page.waitForFunction(() => /^Verified /.test(document.querySelector('#health').textContent));
    assert.match(await page.locator('#health').textContent(), /^Verified (just now|\d+ min ago), golden G-0001, worst 0\.\d dB$/);
    await scan(page, 'HEALTH-01');
    await page.locator('#alarms li').first().waitFor({ timeout: 10000 });
    const alarms = await page.locator('#alarms li').allTextContents();
    assert.ok(alarms.some((a) => /^Process alarm: Burst power, (DCS 1800|PCS 1900) .*one point beyond 3 sigma \(below/.test(a)),
      alarms.join('\n'));
    await page.screenshot({ path: path.join(docs, 'station-health-header.png') });
    assert.deepStrictEqual(problems, []);
  } finally {
    await stop(h);
  }
});

test('three units in ERROR in a row stop the station until the technician\'s code', async () => {
  const h = serve(['--scenario', 'handover-refused', '--lock-after', '3']);
  try {
    const { page, problems } = await openPage(browser);
    await page.goto(await h.url);
    for (const serial of ['HEALTH-11', 'HEALTH-12', 'HEALTH-13']) await scan(page, serial);
    await page.locator('#stop-panel').waitFor({ state: 'visible', timeout: 10000 });
    assert.strictEqual(await page.locator('#stop-text').textContent(),
      'Station stopped: 3 failures in a row on band handover (ERROR). Call the technician');
    assert.strictEqual(await page.locator('#start').isDisabled(), true, 'no unit starts');
    await page.screenshot({ path: path.join(docs, 'station-health-stop.png') });

    await page.locator('#stop-code').fill('1234');
    await page.locator('#stop-ack').click();
    await page.waitForFunction(() => /technician's code/.test(document.querySelector('#notice').textContent));
    assert.strictEqual(await page.locator('#stop-panel').isVisible(), true);
    await page.locator('#stop-code').fill('4711');
    await page.locator('#stop-ack').click();
    await page.locator('#stop-panel').waitFor({ state: 'hidden', timeout: 10000 });
    await scan(page, 'HEALTH-14');  // the station goes on
    assert.deepStrictEqual(problems.filter((p) => !/status of 409/.test(p)), []);
  } finally {
    await stop(h);
  }
});
