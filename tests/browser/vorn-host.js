// vorn-host --serve for the browser checks: started on a free port in a
// folder of its own (its results.sqlite and --json files land there), and
// always ended, whatever a check's assertions did: a failed check never
// leaves a host running until the suite's timeout.
'use strict';
const { spawn, execFile } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const root = path.resolve(__dirname, '../..');
const host = process.env.VORN_HOST || path.join(root, 'build/bin/vorn-host');
const results = process.env.VORN_RESULTS || path.join(path.dirname(host), 'vorn-results');
const plan = path.join(root, 'examples/typical.plan');
const params = path.join(root, 'examples/station.ini');

// extra: more options; operator: --operator, or none (the page asks for a login).
function startHost(extra, { operator = 'op-test' } = {}) {
  const cwd = fs.mkdtempSync(path.join(os.tmpdir(), 'vorn-operator-'));
  const args = ['--serve', '0', '--params', params, ...(operator ? ['--operator', operator] : []), ...extra, plan];
  const child = spawn(host, args, { cwd, stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '';
  child.stdout.on('data', (d) => { out += d; });
  const { url, exited, stderr } = watchServing(child);
  return { child, url, exited, cwd, stderr, stdout: () => out };
}

// A host started by a check (under Wine too): the page's address once it says
// it, its exit status once it ends, and what it said on standard error.
function watchServing(child, name = 'vorn-host') {
  let err = '';
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  const url = new Promise((resolve, reject) => {
    child.stderr.on('data', (d) => {
      err += d;
      const m = /operator's screen is at (http:\/\/\S+)/.exec(err);
      if (m) resolve(m[1]);
    });
    child.on('exit', () => reject(new Error(`${name} ended before serving:\n${err}`)));
  });
  url.catch(() => {});  // awaited by the check; an early end is its failure, not the process's
  return { url, exited, stderr: () => err };
}

// Ends it as Ctrl-C does, and kills it if it has not ended 15 s later.
async function endHost(h, signal = 'SIGINT') {
  if (h.child.exitCode === null && h.child.signalCode === null) h.child.kill(signal);
  const kill = setTimeout(() => h.child.kill('SIGKILL'), 15000);
  const code = await h.exited;
  clearTimeout(kill);
  return code;
}

// Runs check with a host; the host is ended and its folder removed whatever the check does.
async function withHost(extra, options, check) {
  const h = startHost(extra, options);
  try {
    return await check(h);
  } finally {
    await endHost(h);
    fs.rmSync(h.cwd, { recursive: true, force: true });
  }
}

// vorn-results on the host's results file: what it prints.
function vornResults(h, ...args) {
  return new Promise((resolve, reject) => {
    execFile(results, ['--db', path.join(h.cwd, 'results.sqlite'), ...args], (e, out, stderr) =>
      (e ? reject(new Error(`vorn-results ${args.join(' ')}: ${e.message} ${stderr}`)) : resolve(out)));
  });
}

// The host's JSON Lines records (--json units.jsonl).
function records(h) {
  const file = path.join(h.cwd, 'units.jsonl');
  if (!fs.existsSync(file)) return [];
  return fs.readFileSync(file, 'utf8').split('\n').filter(Boolean).map((l) => JSON.parse(l));
}

module.exports = { startHost, endHost, withHost, watchServing, vornResults, records, root };
