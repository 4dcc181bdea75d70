// Debian's Chromium, headless, driven by playwright-core: the one way the
// browser checks start a browser. No browser is downloaded; nothing leaves
// the machine: every request to anything but a file or the loopback address
// is refused, so a page that needs the network fails its check.
'use strict';
const { chromium } = require('playwright-core');

const executablePath = process.env.VORN_CHROMIUM || '/usr/bin/chromium';

// extraArgs: more of Chromium's switches (a check's own host resolver rules).
async function launch(extraArgs = []) {
  return chromium.launch({
    executablePath,
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', ...extraArgs],
  });
}

// A page whose console errors, page errors and off-machine requests are
// collected in problems, for the check to assert empty.
async function openPage(browser, viewport = { width: 1280, height: 800 }) {
  const context = await browser.newContext({ viewport });
  const problems = [];
  await context.route('**/*', (route) => {
    const url = new URL(route.request().url());
    const local = url.protocol === 'file:' || url.protocol === 'data:' ||
      url.hostname === '127.0.0.1' || url.hostname === 'localhost' || url.hostname === '[::1]';
    if (local) return route.continue();
    problems.push(`request off the machine: ${url.href}`);
    return route.abort();
  });
  const page = await context.newPage();
  page.on('console', (m) => { if (m.type() === 'error') problems.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
  return { context, page, problems };
}

module.exports = { launch, openPage };
