// What another client does never reaches the operator, in Debian's headless
// Chromium against vorn-host --serve: a page of another site whose name was
// pointed at this machine (DNS rebinding) gets nothing and starts nothing;
// the operator's unit runs to its verdict while another local client holds
// 200 slow connections and floods its own; Ctrl-C at the page's prompt runs
// the cleanup. Each check ends its host whatever its assertions did.
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert');
const net = require('node:net');
const { launch, openPage } = require('./browser.js');
const { withHost } = require('./vorn-host.js');

// Names of another site that now give this machine's address: Chromium's
// own resolver is told so, and nothing is asked of any DNS server.
const kRebound = ['127.attacker.example', '127.0.0.1.nip.io'];

let browser;
before(async () => {
  browser = await launch([`--host-resolver-rules=${kRebound.map((n) => `MAP ${n} 127.0.0.1`).join(', ')}`]);
});
after(async () => { await browser.close(); });

// The port the host serves its page on.
async function portOf(h) {
  return Number(/^http:\/\/127\.0\.0\.1:(\d+)\/$/.exec(await h.url)[1]);
}

async function state(port) {
  return (await fetch(`http://127.0.0.1:${port}/state`)).json();
}

// The page as a scanner uses it: the serial's keys, then Enter.
async function scan(page, serial) {
  await page.locator('#serial').waitFor();
  await page.waitForFunction(() => window.vornState !== null);
  await page.keyboard.type(serial);
  await page.keyboard.press('Enter');
}

test('a page of another site whose name was pointed here gets nothing and starts nothing', async () => {
  await withHost(['--fast', '--no-db'], {}, async (h) => {
    const port = await portOf(h);
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
    assert.strictEqual(s.panels[0].current, null, 'no unit was started');
    assert.deepStrictEqual(s.recent, []);
    await context.close();
  });
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
  return {
    refused: () => refused,
    stop: () => {
      clearInterval(flood);
      clearInterval(trickle);
      for (const s of [...slow, ...floods]) s.destroy();
      return { refused, sent };
    },
  };
}

test('the operator\'s unit runs to its verdict beside another local client\'s traffic', async () => {
  await withHost(['--fast', '--no-db'], {}, async (h) => {
    const port = await portOf(h);
    const busy = busyNeighbour(port);
    let neighbour;
    try {
      const { page, problems } = await openPage(browser);
      await page.goto(`http://127.0.0.1:${port}/`);
      for (const serial of ['BUSY-1', 'BUSY-2', 'BUSY-3']) {
        await scan(page, serial);
        await page.waitForFunction((x) => document.querySelector('#banner-serial').textContent === `Serial ${x}` &&
          document.querySelector('#verdict').textContent === 'PASS', serial, { timeout: 10000 });
        assert.strictEqual(await page.locator('#panel-notice').textContent(), '', 'no action of the page was refused');
      }
      assert.deepStrictEqual(problems, []);
      // On a quick machine the three units may end before the server has
      // answered the neighbour's first flood: its answers are waited for.
      for (const deadline = Date.now() + 15000; busy.refused() === 0 && Date.now() < deadline;) {
        await new Promise((resolve) => setTimeout(resolve, 100));
      }
    } finally {
      neighbour = busy.stop();
    }
    console.log(`# the neighbour's actions: ${neighbour.sent}, refused for its rate: ${neighbour.refused}`);
    assert.ok(neighbour.refused > 0, 'the neighbour was held to its rate');
  });
});

test('Ctrl-C while the page\'s prompt is open runs the cleanup', async () => {
  await withHost(['--fast', '--no-db', '--scenario', 'phone-off-until-prompt'], {}, async (h) => {
    const { page, problems } = await openPage(browser);
    await page.goto(await h.url);
    await scan(page, 'OFF-CTRLC');
    await page.locator('#prompt[open]').waitFor();
    h.child.kill('SIGINT');
    await page.waitForFunction(() => document.querySelector('#state').textContent === 'stopped', null, { timeout: 30000 });
    // Each cleanup step ran (whatever it found with the phone never on).
    for (const step of ['OBTEndCall', 'MobReset', 'MobClose']) {
      const verdict = await page.locator(`li[data-step="${step}"]`).getAttribute('class');
      assert.notStrictEqual(verdict, 'NOTRUN', step);
    }
    assert.ok(Number.isInteger(await h.exited), 'vorn-host ended by itself');
    assert.match(h.stderr(), /\[21\/21\] MobClose/);
    assert.deepStrictEqual(problems.filter((p) => !/ERR_CONNECTION_REFUSED|EventSource/.test(p)), []);
  });
});
