// The report pages opened from their files in headless Chromium, with the
// database the pages came from as the reference. reports.sh makes them.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const path = require('node:path');
const fs = require('node:fs');
const { execFileSync } = require('node:child_process');
const { launch, openPage } = require('./browser');

const dir = process.env.VORN_REPORTS;
const db = path.join(dir, 'line.sqlite');
const sql = (query) => execFileSync('sqlite3', ['-separator', '|', db, query], { encoding: 'utf8' })
  .trim().split('\n').filter(Boolean).map((line) => line.split('|'));

// Opens the page, checks it loads clean and paints something (each of
// shots: [name, the element to take, or null for the window]), and hands the
// page to the check.
async function withPage(file, shots, check) {
  const browser = await launch();
  try {
    const { page, problems } = await openPage(browser);
    await page.goto('file://' + path.join(dir, file));
    for (const [name, selector] of shots) {
      const shot = selector ? await page.locator(selector).first().screenshot() : await page.screenshot();
      const shotFile = process.env.VORN_REPORT_SHOTS
        ? path.join(process.env.VORN_REPORT_SHOTS, 'report-' + name + '.png')
        : path.join(dir, file + '-' + name + '.png');
      fs.writeFileSync(shotFile, shot);
      // A blank picture compresses to almost nothing; a drawn one does not.
      assert.ok(shot.length > 15000, `${file}: screenshot ${name} of ${shot.length} bytes looks blank`);
    }
    await check(page);
    assert.deepStrictEqual(problems, []);
  } finally {
    await browser.close();
  }
}

test('unit page: every spectrum result a point, every limit on one a mask segment', async () => {
  const serial = process.env.VORN_REPORT_SERIAL, attempt = Number(process.env.VORN_REPORT_ATTEMPT);
  const uuid = sql(`SELECT uuid FROM unit WHERE serial = '${serial}' AND attempt = ${attempt}`)[0][0];
  const spectrum = sql(`SELECT step_index, name LIKE '%Modulation%', low IS NOT NULL OR high IS NOT NULL,
    passed FROM result WHERE unit_uuid = '${uuid}' AND name LIKE '%MHZ % Spectrum'`);
  assert.ok(spectrum.length >= 30);
  // Its failed measurements, as the catalogue names their kinds.
  const failedKinds = new Set(spectrum.filter((r) => r[3] === '0')
    .map((r) => (r[1] === '1' ? 'Spectrum due to modulation' : 'Spectrum due to switching')));
  await withPage('unit.html', [['unit', null]], async (page) => {
    const counts = await page.evaluate(() => {
      const all = (sel) => document.querySelectorAll(sel).length;
      return {
        points: all('svg.spectrum circle.point'),
        out: all('svg.spectrum circle.point.out'),
        masks: all('svg.spectrum path.mask'),
        plots: all('svg.spectrum'),
        verdict: document.querySelector('h1 span').textContent,
        missedRows: all('table.steps tr.miss'),
        why: [...document.querySelectorAll('.why li')].map((li) => li.textContent),
        whyFirst: document.querySelector('.why') !== null &&
          document.querySelector('.why').compareDocumentPosition(document.querySelector('dl.header')) ===
            Node.DOCUMENT_POSITION_FOLLOWING,
        times: document.querySelector('dd.times').textContent,
        operator: document.querySelector('dd.operator').textContent,
      };
    });
    assert.ok(counts.whyFirst, 'the why box comes first, before the header');
    for (const kind of failedKinds) {
      assert.ok(counts.why.some((line) => line.startsWith(kind)), `the why box names ${kind}: ${counts.why}`);
    }
    assert.match(counts.times, /^station time [0-9.]+ s, of which the equipment's waits [0-9.]+ s; wall time/);
    assert.strictEqual(counts.operator, 'Ann Smith');
    assert.strictEqual(counts.points, spectrum.length);
    assert.strictEqual(counts.masks, spectrum.filter((r) => r[2] === '1').length);
    assert.strictEqual(counts.out, spectrum.filter((r) => r[3] === '0').length);
    assert.ok(counts.out > 0, 'the missed switching limit is marked in the plot');
    assert.strictEqual(counts.plots, 2 * new Set(spectrum.map((r) => r[0])).size);
    assert.strictEqual(counts.verdict, 'FAIL');
    assert.ok(counts.missedRows >= counts.out);
  });
});

test('line page: counts, Cpk from the database, links to failing units', async () => {
  // The tally's counts: units by their id, the first verdict and the last.
  const [attempts, units, firstPassed] = sql(`SELECT count(*), count(DISTINCT unit_id),
    sum(prior = 'none' AND verdict = 'PASS') FROM unit`)[0].map(Number);
  // Burst power of the first power step: Cpk from every value, computed here.
  const [planLine] = sql("SELECT min(plan_line) FROM measurement WHERE export LIKE '%PowervsTime'")[0];
  const values = sql(`SELECT r.value, m.low, m.high FROM run_result r JOIN measurement m ON m.id = r.measurement_id
    WHERE m.plan_line = ${planLine} AND m.entry = 1`);
  const v = values.map((r) => Number(r[0]));
  const mean = v.reduce((a, b) => a + b, 0) / v.length;
  const sd = Math.sqrt(v.reduce((a, b) => a + (b - mean) ** 2, 0) / (v.length - 1));
  const [low, high] = [Number(values[0][1]), Number(values[0][2])];
  const cpk = Math.min(high - mean, mean - low) / (3 * sd);
  const [failingMeasurements] = sql('SELECT count(DISTINCT m.plan_line || \'/\' || m.entry) FROM run_result r' +
    ' JOIN measurement m ON m.id = r.measurement_id WHERE r.passed = 0')[0].map(Number);
  const steps = sql("SELECT count(DISTINCT plan_line) FROM step WHERE verdict <> 'NOT RUN'")[0].map(Number)[0];
  await withPage('line-report.html', [['line', 'section.summary'], ['time', 'svg.pareto.stacked']], async (page) => {
    const seen = await page.evaluate((id) => {
      const cells = [...document.querySelectorAll('table.counts td')].map((td) => td.textContent);
      const row = document.querySelector(`table.capability a[href="#m${id}-1"]`).closest('tr');
      const links = [...document.querySelectorAll('table.failed a')].map((a) => a.getAttribute('href'));
      const svgs = [...document.querySelectorAll('svg.histogram, svg.control')];
      return { cells, cpk: row.querySelector('td.cpk').textContent, links,
        histograms: document.querySelectorAll('svg.histogram').length,
        charts: document.querySelectorAll('svg.control').length,
        unlabelled: svgs.filter((svg) => !svg.querySelector('g.legend') ||
          [...svg.querySelectorAll('g.axis text')].every((t) => !t.textContent.match(/[a-z]/))).length,
        topFailures: document.querySelectorAll('section.summary ol.top-failures li').length,
        lowCpk: [...document.querySelectorAll('section.summary table.low-cpk td.cpk')].map((td) =>
          [Number(td.textContent), td.className]),
        whys: [...document.querySelectorAll('table.failed td.why')].map((td) => td.textContent),
        stepBars: document.querySelectorAll('svg.pareto.stacked rect.bar').length,
        sections: [...document.querySelectorAll('details > summary h2')].map((h) => h.textContent) };
    }, planLine);
    assert.strictEqual(seen.unlabelled, 0, 'every distribution and chart has its axes named and a legend');
    assert.strictEqual(seen.topFailures, Math.min(5, failingMeasurements));
    assert.ok(seen.lowCpk.length > 0 && seen.lowCpk.length <= 5);
    for (const [value, cls] of seen.lowCpk) {
      assert.strictEqual(cls, value < 1 ? 'num cpk red' : value < 1.33 ? 'num cpk amber' : 'num cpk', `Cpk ${value}`);
    }
    for (let i = 1; i < seen.lowCpk.length; ++i) assert.ok(seen.lowCpk[i - 1][0] <= seen.lowCpk[i][0]);
    assert.ok(seen.whys.length > 0 && seen.whys.every((w) => w.length > 0), 'every failing attempt says what failed');
    assert.strictEqual(seen.stepBars, 2 * steps, 'each step that ran: its waits and its own time');
    assert.deepStrictEqual(seen.sections.slice(0, 3), ['Failures', 'Test time', 'Stations']);
    assert.strictEqual(Number(seen.cells[0]), units);
    assert.strictEqual(Number(seen.cells[1]), attempts);
    assert.strictEqual(seen.cells[2], (100 * firstPassed / units).toFixed(1) + ' %');
    assert.strictEqual(seen.cpk, cpk.toFixed(2).replace(/\.?0+$/, ''));
    assert.strictEqual(seen.charts, seen.histograms);  // each measurement's distribution and its chart
    assert.ok(seen.links.length > 0);
    for (const href of seen.links) assert.ok(fs.existsSync(path.join(dir, href)), `${href} is written`);
  });
});
