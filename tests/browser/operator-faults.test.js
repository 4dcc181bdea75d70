// What another client does never reaches the operator, in Debian's headless
// Chromium against vorn-host --serve: a page of another site whose name was
// pointed at this machine (DNS rebinding) gets nothing and starts nothing;
// the operator's unit runs to its verdict while another local client holds
// 200 slow connections and floods its own; Ctrl-C at the page's prompt runs
// the cleanup.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { launch, openPage } = require('./browser.js');

const host = process.env.VORN_HOST || path.resolve(__dirname, '../../build/bin/vorn-host');
const root = path.resolve(__dirname, '../..');
const plan = path.join(root, 'examples/typical.plan');
const params = path.join(root, 'examples/station.ini');
// Names of another site that now give this machine's address: Chromium's
// own resolver is told so, and nothing is asked of any DNS server.
const kRebound = ['127.attacker.example', '127.0.0.1.nip.io'];

let browser;
before(async () => {
  browser = await launch([`--host-resolver-rules=${kRebound.map((n) => `MAP ${n} 127.0.0.1`).join(', ')}`]);
});
after(async () => { await browser.close(); });

// vorn-host --serve on a free port, in a folder of its own; resolves its
// port once it says where.
function startHost(extra) {
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'vorn-faults-'));
  const child = spawn(host, ['--serve', '0', '--no-db', '--params', params, ...extra, plan],
    { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
  let err = '';
  child.stdout.resume();
  const exited = new Promise((resolve) => child.on('exit', (code) => {
    fs.rmSync(cwd, { recursive: true, force: true });
    resolve(code);
  }));
  const port = new Promise((resolve, reject) => {
    child.stderr.on('data', (d) => {
      err += d;
      const m = /operator's screen is at http:\/\/127\.0\.0\.1:(\d+)\//.exec(err);
      if (m) resolve(Number(m[1]));
    });
    child.on('exit', () => reject(new Error(`vorn-host ended before serving:\n${err}`)));
  });
  return { child, port, exited, stderr: () => err };
}

async function stopHost(h, signal = 'SIGINT') {
  if (h.child.exitCode === null) h.child.kill(signal);
  return h.exited;
}

async function state(port) {
  return (await fetch(`http://127.0.0.1:${port}/state`)).json();
}

test('a page of another site whose name was pointed here gets nothing and starts nothing', async () => {
  const h = startHost(['--fast']);
  const port = await h.port;
  const context = await browser.newContext();
  // Only the loopback address and the names mapped to it: nothing leaves the machine.
  await context.route('**/*', (route) => {
    const { hostname } = new URL(route.request().url());
    return ['127.0.0.1', ...kRebound].includes(hostname) ? route.continue() : route.abort();
  });
  const page = await context.newPage();
  for (const name of kRebound) {
    const res = await page.goto(`http://${name}:${port}/`);
    assert.strictEqual(res.status(), 403, name);
    // The attacker's script, from its own origin, which is now this address.
    const tried = await page.evaluate(async () => {
      const read = await fetch('/state');
      const start = await fetch('/start', {
        method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ serial: 'EVIL-1' }),
      });
      return [read.status, start.status];
    });
    assert.deepStrictEqual(tried, [403, 403], name);
  }
  const s = await state(port);
  assert.strictEqual(s.current, null, 'no unit was started');
  assert.deepStrictEqual(s.recent, []);
  await context.close();
  await stopHost(h);
});

// 200 connections that send their request a byte a second, and more that
// send actions far faster than their rate: the same 127.0.0.1 as the operator.
function busyNeighbour(port) {
  const slow = [];
  for (let i = 0; i < 200; ++i) {
    const s = net.connect(port, '127.0.0.1', () => s.write('GET /state HTTP/1.1\r\nHost: 127'));
    s.on('error', () => {});
    slow.push(s);
  }
  const trickle = setInterval(() => { for (const s of slow) if (!s.destroyed) s.write('.'); }, 1000);
  // 50 actions at once on a connection, five times a second.
  const action = `POST /acknowledge HTTP/1.1\r\nHost: 127.0.0.1:${port}\r\n` +
    'Content-Type: application/json\r\nContent-Length: 12\r\n\r\n{"prompt":1}';
  let refused = 0;
  let sent = 0;
  const floods = [];
  const flood = setInterval(() => {
    const s = net.connect(port, '127.0.0.1', () => { s.write(action.repeat(50)); sent += 50; });
    s.on('data', (d) => { refused += (d.toString().match(/ 429 /g) || []).length; });
    s.on('error', () => {});
    floods.push(s);
  }, 200);
  return () => {
    clearInterval(flood);
    clearInterval(trickle);
    for (const s of [...slow, ...floods]) s.destroy();
    return { refused, sent };
  };
}

test('the operator\'s unit runs to its verdict beside another local client\'s traffic', async () => {
  const h = startHost(['--fast']);
  const port = await h.port;
  const stopNeighbour = busyNeighbour(port);
  const { page, problems } = await openPage(browser);
  await page.goto(`http://127.0.0.1:${port}/`);
  for (const serial of ['BUSY-1', 'BUSY-2', 'BUSY-3']) {
    await page.locator('#serial').fill(serial);
    await page.locator('#serial').press('Enter');
    await page.waitForFunction((x) => document.querySelector('#banner-serial').textContent === `Serial ${x}` &&
      document.querySelector('#verdict').textContent === 'PASS', serial, { timeout: 10000 });
    assert.strictEqual(await page.locator('#notice').textContent(), '', 'no action of the page was refused');
  }
  const neighbour = stopNeighbour();
  console.log(`# the neighbour's actions: ${neighbour.sent}, refused for its rate: ${neighbour.refused}`);
  assert.ok(neighbour.refused > 0, 'the neighbour was held to its rate');
  assert.deepStrictEqual(problems, []);
  await stopHost(h);
});

test('Ctrl-C while the page\'s prompt is open runs the cleanup', async () => {
  const h = startHost(['--fast', '--scenario', 'phone-off-until-prompt']);
  const port = await h.port;
  const { page, problems } = await openPage(browser);
  await page.goto(`http://127.0.0.1:${port}/`);
  await page.locator('#serial').fill('OFF-CTRLC');
  await page.locator('#serial').press('Enter');
  await page.locator('#prompt[open]').waitFor();
  h.child.kill('SIGINT');
  await page.waitForFunction(() => document.querySelector('#banner-serial').textContent === 'The station stopped',
    null, { timeout: 30000 });
  // Each cleanup step ran (whatever it found with the phone never on).
  for (const step of ['OBTEndCall', 'MobReset', 'MobClose']) {
    const verdict = await page.locator(`li[data-step="${step}"]`).getAttribute('class');
    assert.notStrictEqual(verdict, 'NOTRUN', step);
  }
  assert.ok(Number.isInteger(await h.exited), 'vorn-host ended by itself');
  assert.match(h.stderr(), /\[21\/21\] MobClose/);
  assert.deepStrictEqual(problems.filter((p) => !/ERR_CONNECTION_REFUSED|EventSource/.test(p)), []);
});
