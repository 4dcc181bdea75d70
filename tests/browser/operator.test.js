// The operator's screen in Debian's headless Chromium, against vorn-host
// --serve on the simulated station, scanned as a scanner types (the keys,
// then Enter, into whatever has the focus): verdicts and what to do next,
// refused scans, the prompt, retests by rescanning, the login, Stop, the
// figures, the spectrum per band, and a panel per socket. The figures (verdict
// delay, 20 pages) are printed, not asserted.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const path = require('node:path');
const { launch, openPage } = require('./browser.js');
const { withHost, vornResults, records, root } = require('./vorn-host.js');

const docs = process.env.VORN_DOCS_DIR || path.join(root, 'docs');
const DASH = '\u2014';

let browser;
before(async () => { browser = await launch(); });
after(async () => { await browser.close(); });

// The page once it drew the host's first state.
async function open(h, viewport) {
  const opened = await openPage(browser, viewport);
  await opened.page.goto(await h.url);
  await opened.page.waitForFunction(() => window.vornState !== null);
  return opened;
}

// As a scanner types: the serial's keys, then Enter.
async function scan(page, text) {
  await page.keyboard.type(text, { delay: 2 });
  await page.keyboard.press('Enter');
}

const state = (page) => page.evaluate(() => window.vornState);
// A page's problems but those a check brings about: a scan refused (409), a host that ended.
const unexpected = (problems) => problems.filter((p) => !/409 \(Conflict\)|ERR_CONNECTION_REFUSED|EventSource/.test(p));
// ... but a refused action: none is expected (an OK pressed twice would be one).
const afterTheEnd = (problems) => problems.filter((p) => !/ERR_CONNECTION_REFUSED|EventSource/.test(p));
const text = (page, selector) => page.locator(selector).textContent();

// Until the session has recorded n attempts and every panel is idle again.
async function attempts(page, n) {
  await page.waitForFunction((count) => {
    const s = window.vornState;
    return s.attempts === count && s.panels.every((p) => p.state === 'idle');
  }, n, { timeout: 30000 });
}

async function clickOk(page, panel = '') {
  const ok = page.locator(panel ? `.panel[data-socket="${panel}"] .prompt-ok` : '#prompt-ok');
  await ok.waitFor({ state: 'visible' });
  await ok.click();
}

test('a scanned serial runs to PASS with every step shown; the figures from the tenth unit on', async () => {
  await withHost(['--fast', '--json', 'units.jsonl'], {}, async (h) => {
    const { page, problems } = await open(h);
    assert.strictEqual(await page.evaluate(() => document.activeElement.id), 'serial');
    await scan(page, 'WEB-0001');
    await page.waitForFunction(() => document.querySelector('#verdict').textContent === 'PASS');
    assert.strictEqual(await text(page, '#banner-serial'), 'Serial WEB-0001');
    assert.strictEqual(await text(page, '#action'), '', 'nothing to do after a PASS');
    assert.strictEqual(await page.locator('#steps li.PASS').count(), 21);
    assert.match(await page.locator('#recent tr').first().textContent(), /WEB-0001PASS/);
    assert.strictEqual(await text(page, '#who'), 'Operator: op-test');
    await page.locator('#plot').waitFor({ state: 'visible', timeout: 5000 });
    assert.ok(await page.locator('#plot').evaluate((img) => img.naturalWidth > 0), 'the spectrum plot is drawn');
    assert.strictEqual(await page.evaluate(() => document.activeElement.id), 'serial', 'the field keeps the focus');

    // 20 pages watching: the same units, timed by the host, with 1 and 20 pages.
    const unitSeconds = async (serials) => {
      for (const s of serials) {
        await scan(page, s);
        await page.waitForFunction((x) => document.querySelector('#banner-serial').textContent === `Serial ${x}` &&
          document.querySelector('#state').textContent === 'idle', s);
      }
      const now = await state(page);
      return now.recent.slice(0, serials.length).map((u) => u.wallSeconds * 1000);
    };
    const alone = await unitSeconds(['WEB-A1', 'WEB-A2', 'WEB-A3', 'WEB-A4', 'WEB-A5']);
    for (const figure of ['#fpy', '#recent-yield', '#uph']) {
      assert.strictEqual(await text(page, figure), DASH, `${figure}: no figure from 6 units`);
    }
    const watchers = [];
    for (let i = 0; i < 19; ++i) watchers.push(await open(h));
    await page.waitForFunction(() => document.querySelector('#link').textContent === '20 screens');
    const crowded = await unitSeconds(['WEB-B1', 'WEB-B2', 'WEB-B3', 'WEB-B4', 'WEB-B5']);
    const mean = (xs) => xs.reduce((a, b) => a + b, 0) / xs.length;
    console.log(`# unit time (--fast, host-measured, mean of 5): 1 page ${mean(alone).toFixed(2)} ms, ` +
      `20 pages ${mean(crowded).toFixed(2)} ms`);
    for (const w of watchers) {
      assert.deepStrictEqual(w.problems, []);
      await w.context.close();
    }
    assert.strictEqual(await text(page, '#fpy'), '100.0 %', 'from the tenth unit on');
    assert.strictEqual(await text(page, '#recent-yield'), '100.0 %');
    assert.match(await text(page, '#uph'), /^\d+(\.\d)?$/);
    const kept = records(h);
    assert.strictEqual(kept.length, 11);
    for (const r of kept) assert.strictEqual(r.operator, 'op-test', r.unit.serial);
    assert.deepStrictEqual(problems, []);
  });
});

test('a FAIL says what to do, then what it missed; scanned again it is its unit\'s next attempt, then the repair tray\'s', async () => {
  await withHost(['--fast', '--retest', '1', '--scenario', 'marginal-phones', '--json', 'units.jsonl'], {}, async (h) => {
    const { page, problems } = await open(h);
    await scan(page, 'MARG-09');
    await attempts(page, 1);
    assert.strictEqual(await text(page, '#verdict'), 'FAIL');
    assert.strictEqual(await text(page, '#action'), 'Retest once');
    // A line per measurement missed, in words with its value and limit, each once.
    const lines = await page.locator('#banner-lines li').allTextContents();
    const failed = await page.locator('#steps li.FAIL').evaluateAll((li) => li.map((e) => e.dataset.step));
    assert.ok(failed.length >= 1);
    assert.ok(lines.length >= 1, 'the missed limit is shown');
    assert.strictEqual(new Set(lines).size, lines.length, `no line twice: ${lines.join(' | ')}`);
    for (const line of lines) {
      assert.ok(!failed.includes(line.split(':')[0]), line);
      assert.match(line, /^[A-Z][^:]*: .*(, limit |offsets (over|outside) the mask)/);
    }
    const [action, missed] = await Promise.all(['#action', '#banner-lines'].map((s) => page.locator(s).boundingBox()));
    assert.ok(action.y < missed.y, 'the next action above the failures');
    await page.screenshot({ path: path.join(docs, 'operator-fail.png') });

    await scan(page, 'MARG-09');
    await attempts(page, 2);
    assert.match(await text(page, '#unit-title'), /MARG-09 \u00b7 attempt 2/);
    assert.strictEqual(await text(page, '#action'), 'Repair tray', 'its last attempt allowed failed');
    const s = await state(page);
    assert.deepStrictEqual([s.units, s.retests, s.fail], [1, 1, 1], 'one unit, retested once');
    await scan(page, 'MARG-09');
    await page.waitForFunction(() => document.querySelector('#panel-notice').textContent !== '');
    assert.strictEqual(await text(page, '#panel-notice'), 'MARG-09 not taken: it failed attempt 2 of 2 allowed; Repair tray');
    assert.strictEqual(await text(page, '#action'), 'Repair tray');
    // In the database: the same unit's attempts 1 and 2, and no third.
    const db = await vornResults(h, 'units', '--serial', 'MARG-09');
    assert.match(db, /unit 1 {2}attempt 1 {2}FAIL/);
    assert.match(db, /unit 1 {2}attempt 2 {2}FAIL/);
    assert.strictEqual((db.match(/ attempt /g) || []).length, 2, db);
    const kept = records(h);
    assert.deepStrictEqual(kept.map((r) => `${r.unit.serial} ${r.unit.attempt} ${r.unit.prior}`),
      ['MARG-09 1 none', 'MARG-09 2 FAIL']);
    assert.strictEqual(kept[0].unit.id, kept[1].unit.id);

    // The spectrum of a phone that missed its mask: a band at a time, the
    // failing band first, named by its band, channel and level, its words 12 px or more.
    await scan(page, 'MARG-51');
    await attempts(page, 3);
    const bands = page.locator('#bands .band');
    await page.waitForFunction(() => document.querySelectorAll('#bands .band').length === 2);
    assert.match(await bands.first().getAttribute('class'), /failed/);
    for (let i = 0; i < 2; ++i) {
      await bands.nth(i).click();
      const title = (await bands.nth(i).textContent()).replace(' \u2717', '');
      assert.match(title, /^(E-GSM 900|PCS 1900) ch \d+ PCL \d+$/);
      await page.waitForFunction((k) => document.querySelector('#plot').src.includes(`plot=${k}&`) &&
        document.querySelector('#plot').complete, i);
      const smallest = await page.evaluate(async () => {
        const img = document.querySelector('#plot');
        const svg = await (await fetch(img.src)).text();
        const sizes = [...svg.matchAll(/font-size="([\d.]+)"/g)].map((m) => Number(m[1]));
        const box = img.getBoundingClientRect();
        return Math.min(...sizes) * Math.min(box.width / img.naturalWidth, box.height / img.naturalHeight);
      });
      assert.ok(smallest >= 12, `${title}: its smallest words are ${smallest.toFixed(1)} px`);
      assert.ok((await page.evaluate(async () => (await (await fetch(document.querySelector('#plot').src)).text())))
        .includes(`Spectrum due to modulation, ${title}`), title);
    }
    assert.strictEqual(await page.evaluate(() => document.activeElement.id), 'serial', 'a band\'s button keeps no focus');
    assert.deepStrictEqual(unexpected(problems), []);
  });
});

test('the prompt waits for a click on its OK; a scan meanwhile is refused and leaves it open', async () => {
  await withHost(['--fast', '--scenario', 'phone-off-until-prompt', '--json', 'units.jsonl'], {}, async (h) => {
    const { page, problems } = await open(h);
    await scan(page, 'WEB-OFF1');
    await page.locator('#prompt[open]').waitFor();
    assert.strictEqual(await text(page, '#prompt-text'), 'Turn on phone!');
    assert.strictEqual(await page.evaluate(() => document.activeElement.id), 'serial', 'the scan field keeps the focus');
    await scan(page, 'WEB-OFF2');
    await page.waitForFunction(() => document.querySelector('#panel-notice').textContent !== '');
    assert.strictEqual(await text(page, '#panel-notice'),
      'WEB-OFF2 not taken: the station asks "Turn on phone!": answer it first');
    assert.strictEqual(await page.locator('#serial').inputValue(), '', 'each Enter clears the field');
    await page.keyboard.press('Enter');  // a scanner's Enter never presses OK
    await page.waitForTimeout(500);
    assert.strictEqual(await page.locator('#prompt[open]').count(), 1);
    assert.strictEqual(await page.locator('li[data-step="MobInit"]').getAttribute('class'), 'RUNNING');
    assert.strictEqual(await page.locator('#steps li.PASS').count(), 1);
    await clickOk(page);
    await page.waitForFunction(() => document.querySelector('#verdict').textContent === 'PASS');
    assert.strictEqual(await page.locator('#prompt[open]').count(), 0);
    assert.match(h.stderr(), /acknowledged on the operator's screen/);
    assert.deepStrictEqual(records(h).map((r) => r.unit.serial), ['WEB-OFF1'], 'only whole serials, once each');
    assert.deepStrictEqual(unexpected(problems), []);
  });
});

test('a scan during a unit is refused; Stop mid-unit runs the cleanup and leaves the unit not finished', async () => {
  await withHost(['--json', 'units.jsonl'], {}, async (h) => {  // real time: the unit takes about 15 s
    const { page, problems } = await open(h);
    await scan(page, 'WEB-LIVE');
    await page.locator('li[data-step="OBTPowervsTime"].PASS').first().waitFor({ timeout: 60000 });
    await page.screenshot({ path: path.join(docs, 'operator-running.png') });
    await scan(page, 'WEB-0054');
    await page.waitForFunction(() => document.querySelector('#panel-notice').textContent !== '');
    assert.strictEqual(await text(page, '#panel-notice'), 'WEB-0054 not taken: a unit is running');
    assert.strictEqual(await page.locator('#serial').inputValue(), '');
    await page.screenshot({ path: path.join(docs, 'operator-refused.png') });

    const latencies = await page.evaluate(() => window.vornStepLatencies);
    // A reload: the same unit, its verdicts so far, the progress bar.
    const before = await page.locator('#steps li.PASS').count();
    await page.reload();
    await page.waitForFunction(() => document.querySelector('#unit-title').textContent.includes('WEB-LIVE'));
    assert.ok(await page.locator('#steps li.PASS').count() >= before);
    assert.strictEqual(await text(page, '#state'), 'running');

    await page.locator('#stop').click();
    await page.waitForFunction(() => document.querySelector('#state').textContent === 'stopped', null, { timeout: 60000 });
    assert.strictEqual(await text(page, '#verdict'), 'STOPPED');
    assert.strictEqual(await text(page, '#action'), 'Not finished: test again');
    // The cleanup ran: every cleanup step has a verdict, the test steps after the stop none.
    for (const step of ['OBTEndCall', 'MobReset', 'MobClose']) {
      assert.strictEqual(await page.locator(`li[data-step="${step}"]`).getAttribute('class'), 'PASS', step);
    }
    assert.ok(await page.locator('#steps li.NOTRUN').count() >= 1, 'the rest of the test steps did not run');
    latencies.push(...await page.evaluate(() => window.vornStepLatencies));
    const ms = latencies.map((l) => l.ms).sort((a, b) => a - b);
    if (ms.length) {
      console.log(`# step verdict shown after the step's end (real time, ${ms.length} steps): median ${ms[ms.length >> 1]} ms, max ${ms[ms.length - 1]} ms`);
    }
    const code = await h.exited;  // by itself: a kill would leave no exit code
    assert.ok(Number.isInteger(code), `vorn-host ended with ${code}`);
    assert.match(h.stderr(), /MobClose/);
    const kept = records(h);
    assert.deepStrictEqual(kept.map((r) => [r.unit.serial, r.verdict, r.stopped]), [['WEB-LIVE', 'NOT RUN', true]]);
    assert.deepStrictEqual(unexpected(problems), []);
  });
});

test('the operator logs in before the first unit, and every attempt carries the id; an engineer\'s session says so', async () => {
  await withHost(['--fast', '--engineering', '--json', 'units.jsonl'], { operator: null }, async (h) => {
    const { page, problems } = await open(h);
    await page.locator('#login').waitFor({ state: 'visible' });
    assert.strictEqual(await text(page, '#mode'), 'Engineering: not counted in the yield');
    assert.ok(await page.locator('#mode').isVisible());
    assert.strictEqual(await page.evaluate(() => document.activeElement.id), 'badge');
    assert.ok(await page.locator('#serial').isDisabled(), 'no serial before the login');
    await page.screenshot({ path: path.join(docs, 'operator-login.png') });
    await scan(page, 'OP-JANE');
    await page.waitForFunction(() => document.querySelector('#who').textContent === 'Operator: OP-JANE');
    assert.ok(await page.locator('#login').isHidden());
    assert.strictEqual(await page.evaluate(() => document.activeElement.id), 'serial');
    for (const [i, serial] of ['LOG-1', 'LOG-2'].entries()) {
      await scan(page, serial);
      await attempts(page, i + 1);
    }
    assert.match(await text(page, '#unit-title'), /LOG-2 \u00b7 OP-JANE/);
    assert.deepStrictEqual(records(h).map((r) => [r.unit.serial, r.operator]), [['LOG-1', 'OP-JANE'], ['LOG-2', 'OP-JANE']]);
    assert.deepStrictEqual(problems, []);
  });
});

// In real time, so that Stop lands in a test step: the unit it stops has no verdict.
test('the page\'s, the terminal\'s and the database\'s tallies agree after a FAIL, a retest and a Stop', async () => {
  await withHost(['--retest', '1', '--scenario', 'marginal-phones'], {}, async (h) => {
    const { page, problems } = await open(h);
    for (const n of [1, 2]) {
      await scan(page, 'MARG-09');
      await attempts(page, n);
    }
    await scan(page, 'MARG-02');
    await page.locator('li[data-step="OBTInit"].PASS').waitFor({ timeout: 30000 });
    await page.locator('#stop').click();
    await h.exited;
    await page.waitForFunction(() => window.vornState.state === 'stopped');
    assert.strictEqual(await text(page, '#action'), 'Not finished: test again');
    const s = await state(page);
    assert.deepStrictEqual({ units: s.units, pass: s.pass, fail: s.fail, error: s.error, retests: s.retests, stopped: s.stopped },
      { units: 1, pass: 0, fail: 1, error: 0, retests: 1, stopped: 1 });
    const session = /Session: (.*)/.exec(h.stdout());
    assert.ok(session, h.stdout());
    assert.match(session[1], /^1 unit: 0 PASS, 1 FAIL, 0 ERROR, 1 retest, 1 stopped; first-pass yield 0\.0 %; final yield 0\.0 %/);
    const summary = (await vornResults(h, 'summary')).replace(/ +/g, ' ');
    assert.match(summary, /\n\S+ \d{4}-\d\d-\d\d 1 unit: 0 PASS, 1 FAIL, 0 ERROR, 1 retest, 1 stopped; first-pass yield 0\.0 %; final yield 0\.0 %/, summary);
    assert.deepStrictEqual(afterTheEnd(problems), []);
  });
});

// Each socket's panel within the window, none to scroll to.
async function panelsFit(page, sockets) {
  const boxes = await page.locator('.panel').evaluateAll((panels) => panels.map((p) => p.getBoundingClientRect().toJSON()));
  assert.strictEqual(boxes.length, sockets);
  for (const [i, b] of boxes.entries()) {
    assert.ok(b.right <= 1280 && b.bottom <= 800, `socket ${i + 1} of ${sockets} ends at ${b.right}x${b.bottom}`);
  }
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= 1280), 'nothing to scroll sideways');
}

test('2 and 4 sockets lay out at 1280x800, a panel each, with their verdicts and failures', async () => {
  const serials = ['MARG-09', 'MARG-51', 'MARG-01', 'MARG-02'];
  for (const sockets of [2, 4]) {
    await withHost(['--fast', '--sockets', String(sockets), '--no-db', '--scenario', 'marginal-phones'], {}, async (h) => {
      const { page, problems } = await open(h);
      await page.waitForFunction((n) => document.querySelectorAll('.panel').length === n, sockets);
      assert.deepStrictEqual(await page.locator('.serial-label').allTextContents(),
        Array.from({ length: sockets }, (_, i) => `Socket ${i + 1}`));
      for (let i = 0; i < sockets; ++i) {
        await page.locator(`.panel[data-socket="${i + 1}"] .serial`).click();
        await scan(page, serials[i]);
        await attempts(page, i + 1);
      }
      await panelsFit(page, sockets);
      if (sockets === 4) await page.screenshot({ path: path.join(docs, 'operator-sockets.png') });
      assert.deepStrictEqual(problems, []);
    });
  }
});

test('with 4 sockets a scan starts the socket of its panel, the focus moves on, each prompt is its panel\'s, Stop stops all', async () => {
  await withHost(['--fast', '--sockets', '4', '--scenario', 'phone-off-until-prompt', '--json', 'units.jsonl'], {},
    async (h) => {
      const { page, problems } = await open(h);
      await page.waitForFunction(() => document.querySelectorAll('.panel').length === 4);
      const panel = (n) => `.panel[data-socket="${n}"]`;
      const focused = () => page.evaluate(() => document.activeElement.closest('.panel').dataset.socket);
      await page.locator(`${panel(3)} .serial`).click();
      await scan(page, 'SOCK-3');
      await page.locator(`${panel(3)} .prompt[open]`).waitFor();
      assert.strictEqual(await focused(), '4', 'on to the next idle socket');
      await page.locator(`${panel(1)} .serial`).click();
      await scan(page, 'SOCK-1');
      await page.locator(`${panel(1)} .prompt[open]`).waitFor();
      assert.strictEqual(await focused(), '2');
      await panelsFit(page, 4);
      await page.screenshot({ path: path.join(docs, 'operator-sockets-prompts.png') });
      await clickOk(page, '3');
      await page.waitForFunction(() => { const b = window.vornState.panels[2].banner; return b && b.verdict === 'PASS'; });
      assert.strictEqual(await page.locator(`${panel(1)} .prompt[open]`).count(), 1, 'socket 1 still asks');
      await page.locator('#stop').click();
      await h.exited;
      const kept = records(h);
      const bySocket = Object.fromEntries(kept.map((r) => [r.unit.socket, r]));
      assert.deepStrictEqual(kept.map((r) => `${r.unit.serial}@${r.unit.socket}`).sort(), ['SOCK-1@1', 'SOCK-3@3']);
      assert.strictEqual(bySocket['3'].verdict, 'PASS');
      assert.strictEqual(bySocket['1'].stopped, true);
      for (const step of bySocket['1'].steps.filter((st) => st.cleanup)) {
        assert.notStrictEqual(step.verdict, 'NOT RUN', `socket 1's cleanup: ${step.export}`);
      }
      assert.deepStrictEqual(afterTheEnd(problems), []);
    });
});
