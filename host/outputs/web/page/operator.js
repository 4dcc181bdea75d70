// The operator's screen: draws the session from the host's events and sends
// the operator's actions. Everything shown comes from the host's state, so a
// reload or a second page shows the same. A panel per test socket, each with
// its serial field; a scanner types a serial and Enter into the field that
// has the focus, and a field always has it once the first state came (the
// login's while nobody is logged in).
'use strict';

const $ = (id) => document.getElementById(id);
const cls = (verdict) => verdict.replace(' ', '');
const DASH = '\u2014';

let last = null;          // the last state drawn
let plotShown = 0;        // the plot version on screen
let band = 0;             // the band plot shown
const seenEnds = new Set();
let drawnOnce = false;
const panels = [];        // {socket, root, el: {...}} in the state's order
const wired = new WeakSet();  // the panels' roots whose fields and buttons have their handlers
let active = 0;           // the panel whose field has the focus
// How long after a step's end its verdict was drawn, in ms, and the last
// state drawn (read by the checks).
window.vornStepLatencies = [];
window.vornState = null;

function item(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

// Posts an action; a refusal is said where the operator looks (notice).
async function act(path, body, notice) {
  const say = notice || $('notice');
  try {
    const res = await fetch(path, {
      method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body || {}),
    });
    if (res.ok) return true;
    const answer = await res.json().catch(() => ({}));
    say.textContent = answer.error || `the station refused (${res.status})`;
  } catch (e) {
    say.textContent = 'no connection to the station';
  }
  return false;
}

// A button only a click or a touch presses: it never takes the focus from
// the scan field, and a key's press (a scanner's Enter) does nothing.
function clickOnly(button, handler) {
  button.addEventListener('mousedown', (e) => e.preventDefault());
  button.addEventListener('click', (e) => {
    if (e.detail === 0) return;  // from the keyboard
    handler(e);
    focusField();
  });
}

const loginNeeded = () => last && !last.operator && last.state !== 'stopped';

function focusField() {
  if (!$('stop-panel').hidden) return;  // the technician types the code there
  if (loginNeeded()) {
    $('badge').focus();
  } else if (panels[active]) {
    panels[active].el.serial.focus();
  }
}

// The next idle socket's panel after panel i, or i itself when none is idle.
function nextIdle(i) {
  for (let k = 1; k <= panels.length; ++k) {
    const j = (i + k) % panels.length;
    if (j !== i && last && last.panels[j] && last.panels[j].state === 'idle') return j;
  }
  return i;
}

function elementsOf(root) {
  const q = (c) => root.querySelector(`.${c}`);
  return {
    form: q('scan'), label: q('serial-label'), serial: q('serial'), start: q('start'), notice: q('panel-notice'),
    stationPrompt: q('station-prompt'), prompt: q('prompt'), promptText: root.querySelector('.prompt .prompt-text'),
    promptOk: q('prompt-ok'), confirm: q('confirm'), confirmText: q('confirm-text'), confirmYes: q('confirm-yes'),
    confirmNo: q('confirm-no'), banner: q('banner'), verdict: q('verdict'), action: q('action'),
    bannerSerial: q('banner-serial'), bannerLines: q('banner-lines'), title: q('unit-title'), count: q('unit-count'),
    bar: q('progress-bar'), wait: q('wait'), waitText: q('wait-text'), waitBar: q('wait-bar'), steps: q('steps'),
  };
}

// The handlers ask for the panel's socket and place when they run: the page's
// own panel is the first socket's once the sockets are known.
function wirePanel(root) {
  if (wired.has(root)) return;
  wired.add(root);
  const el = elementsOf(root);
  const socket = () => root.dataset.socket || '';
  const place = () => panels.findIndex((q) => q.root === root);
  el.form.addEventListener('submit', async (e) => {
    e.preventDefault();
    const serial = el.serial.value.trim();
    el.serial.value = '';  // every Enter clears the field: no scan is glued to the next
    if (!serial) return;
    if (await act('/start', { serial, socket: socket() }, el.notice)) {
      active = nextIdle(place());
      focusField();
    }
  });
  el.serial.addEventListener('focus', () => { active = place(); });
  el.serial.addEventListener('blur', () => setTimeout(focusField, 0));
  clickOnly(el.start, () => el.form.requestSubmit());
  clickOnly(el.promptOk, () => act('/acknowledge', { prompt: Number(el.prompt.dataset.id), socket: socket() }, el.notice));
  clickOnly(el.confirmYes, () => act('/confirm', { id: Number(el.confirm.dataset.id), socket: socket() }, el.notice));
  clickOnly(el.confirmNo, () => act('/cancel', { id: Number(el.confirm.dataset.id), socket: socket() }, el.notice));
}

// One panel per socket: the page's own is the first; the others are copies
// of it without its ids.
function makePanels(s) {
  if (panels.length === s.panels.length) return;
  const template = document.querySelector('.panel');
  for (const extra of document.querySelectorAll('.panel + .panel')) extra.remove();
  panels.length = 0;
  s.panels.forEach((state, i) => {
    let root = template;
    if (i > 0) {
      root = template.cloneNode(true);
      for (const e of root.querySelectorAll('[id]')) e.removeAttribute('id');
      root.querySelector('.station-prompt').remove();
      $('panels').append(root);
    }
    root.dataset.socket = state.socket;
    const p = { socket: state.socket, root, el: elementsOf(root) };
    if (state.socket) p.el.label.textContent = `Socket ${state.socket}`;
    panels.push(p);
    wirePanel(root);
  });
  const several = s.panels.length > 1;
  $('main').className = several ? `several sockets-${Math.min(s.panels.length, 4)}` : '';
}

function drawBanner(el, p, s) {
  el.bannerLines.replaceChildren();
  el.action.textContent = '';
  const b = p.banner;
  if (b) {
    el.banner.className = `banner ${cls(b.verdict).toLowerCase()}`;
    el.verdict.textContent = b.verdict === 'NOT RUN' ? 'STOPPED' : b.verdict;
    el.action.textContent = b.action;
    el.action.dataset.kind = b.actionKind;
    el.bannerSerial.textContent = `Serial ${b.serial}`;
    for (const line of b.lines) el.bannerLines.append(item('li', '', line));
  } else if (p.current && p.state !== 'idle') {
    el.banner.className = 'banner running';
    el.verdict.textContent = s.state === 'stopping' ? 'STOPPING' : 'TESTING';
    el.bannerSerial.textContent = `Serial ${p.current.serial}`;
  } else if (s.state === 'stopped') {
    el.banner.className = 'banner error';
    el.verdict.textContent = 'STOPPED';
    el.bannerSerial.textContent = 'The station stopped';
  } else {
    el.banner.className = 'banner none';
    el.verdict.textContent = 'READY';
    el.bannerSerial.textContent = "Scan a phone's serial to start";
  }
}

function drawSteps(el, p) {
  el.steps.replaceChildren();
  p.steps.forEach((step, i) => {
    const li = item('li', cls(step.verdict));
    li.dataset.step = step.name;
    const name = item('span', 'n', `${i + 1}. ${step.name}`);
    if (step.waits > 0) name.title = `${step.waits} waits, ${step.waitedMs} ms`;
    li.append(name, item('span', 'v', step.verdict === 'NOT RUN' ? '\u2013' : step.verdict));
    if (step.text || step.misses.length) li.title = [step.text, ...step.misses].filter(Boolean).join('\n');
    el.steps.append(li);
  });
  const total = p.steps.length;
  el.bar.style.width = total ? `${(100 * p.stepsDone) / total}%` : '0';
  el.count.textContent = total ? `${p.stepsDone} of ${total} steps` : '';
  const c = p.current;
  el.title.textContent = c ? `Unit ${c.unit} \u00b7 ${c.serial}` + (c.attempt > 1 ? ` \u00b7 attempt ${c.attempt}` : '') +
    (c.operator ? ` \u00b7 ${c.operator}` : '') : 'No unit running';
}

function drawWait(el, p) {
  el.wait.hidden = !(p.waitMs > 0 && p.state !== 'idle');
  if (el.wait.hidden) return;
  el.waitText.textContent = `Waiting for the equipment: ${(p.waitMs / 1000).toFixed(1)} s`;
  const left = Math.max(0, p.waitStartedAtMs + p.waitMs - Date.now());
  el.waitBar.style.transition = 'none';
  el.waitBar.style.width = `${100 * (1 - left / p.waitMs)}%`;
  requestAnimationFrame(() => {
    el.waitBar.style.transition = `width ${left}ms linear`;
    el.waitBar.style.width = '100%';
  });
}

function drawAsks(el, p) {
  el.prompt.open = p.prompt !== null;  // never showModal(): the scan field keeps the focus
  if (p.prompt) {
    el.promptText.textContent = p.prompt.text;
    el.prompt.dataset.id = String(p.prompt.id);
  }
  el.confirm.hidden = p.confirm === null;
  if (p.confirm) {
    el.confirmText.textContent = p.confirm.text;
    el.confirm.dataset.id = String(p.confirm.id);
  }
}

function drawPanel(panel, p, s) {
  const el = panel.el;
  el.start.disabled = p.state !== 'idle' || s.state === 'stopping' || s.health.stop !== null;
  el.serial.disabled = s.state === 'stopped' || loginNeeded();
  if (el.serial.disabled) el.serial.value = '';  // nothing typed before is left to meet the next scan
  el.notice.textContent = p.notice;
  panel.root.dataset.state = p.state;
  if (p.prompt || p.confirm) panel.root.dataset.asking = ''; else delete panel.root.dataset.asking;
  drawBanner(el, p, s);
  drawSteps(el, p);
  drawWait(el, p);
  drawAsks(el, p);
}

const figure = (v, text) => (v === null ? DASH : text(v));

function drawFigures(s) {
  $('fpy').textContent = figure(s.firstPassYield, (v) => `${v.toFixed(1)} %`);
  $('recent-yield').textContent = figure(s.recentYield, (v) => `${v.toFixed(1)} %`);
  $('uph').textContent = figure(s.unitsPerHour, (v) => v.toFixed(v < 10 ? 1 : 0));
  $('units').textContent = String(s.units);
  $('figures-note').textContent = s.units < s.figuresFrom ? `Yield and units per hour from the ${s.figuresFrom}th unit` : '';
}

function showBand(i) {
  band = i;
  const img = $('plot');
  img.hidden = !last || last.plots.length === 0;
  if (!img.hidden) img.src = `/spectrum.svg?plot=${band}&v=${plotShown}`;
  document.querySelectorAll('#bands button').forEach((b, k) => b.classList.toggle('shown', k === band));
}

function drawPlots(s) {
  if (s.plotVersion === plotShown) return;
  plotShown = s.plotVersion;
  const bands = $('bands');
  bands.replaceChildren();
  s.plots.forEach((p, i) => {
    const b = item('button', p.failed ? 'band failed' : 'band', p.failed ? `${p.title} \u2717` : p.title);
    b.type = 'button';
    b.tabIndex = -1;
    clickOnly(b, () => showBand(i));
    bands.append(b);
  });
  $('plot-caption').textContent = s.plots.length ? `Spectrum of ${s.plotSerial}, one band at a time; failing bands first`
    : 'The spectrum plot appears after the first unit';
  showBand(0);  // the failing band, when one failed
}

function drawSession(s) {
  $('station').textContent = `${s.station || 'Vorn station'}${s.simulated ? ' (simulated)' : ''}`;
  $('mode').hidden = s.mode !== 'engineering';
  $('who').textContent = s.operator ? `Operator: ${s.operator}` : '';
  $('logout').hidden = !s.operator || s.operatorFixed || s.state === 'stopped';
  $('login').hidden = !loginNeeded();
  if ($('login').hidden) $('badge').value = '';
  drawFigures(s);
  const several = s.panels.length > 1;
  const rows = $('recent');
  rows.replaceChildren();
  for (const u of s.recent) {
    const tr = item('tr');
    const socket = item('td', 'socket-column', u.socket);
    tr.append(item('td', '', String(u.unit) + (u.attempt > 1 ? `/${u.attempt}` : '')), item('td', '', u.serial), socket,
      item('td', cls(u.verdict), u.verdict), item('td', '', `${u.seconds.toFixed(1)} s`));
    rows.append(tr);
  }
  document.querySelector('.recent').classList.toggle('several', several);
  drawPlots(s);
}

// The station's own prompt (a real station's message box): said, not answered here.
function drawStationPrompt(s) {
  $('station-prompt').hidden = s.stationPrompt === null;
  $('station-prompt-text').textContent = s.stationPrompt || '';
}

// The station's health: its verification in the header, a stop that waits
// for the technician's code, the latest process alarms.
function drawHealth(s) {
  const h = s.health;
  $('health').textContent = h.text;
  $('health').className = `health ${h.passed === false ? 'bad' : h.passed ? 'good' : ''}`;
  const panel = $('stop-panel');
  panel.hidden = h.stop === null;
  if (h.stop) {
    $('stop-text').textContent = h.stop.text;
    $('stop-code').placeholder = h.stop.code ? '' : 'any code';
  }
  $('alarms').replaceChildren(...h.alarms.map((a) => item('li', '', a.text)));
}

function noteLatencies(s) {
  const fresh = s.panels.flatMap((p) => p.steps).filter((step) => step.endedAtMs && !seenEnds.has(step.endedAtMs));
  if (!drawnOnce) {
    // Steps that ended before this page came: not a delay of this page.
    for (const step of fresh) seenEnds.add(step.endedAtMs);
    drawnOnce = true;
  } else if (fresh.length) {
    requestAnimationFrame(() => {
      const now = Date.now();
      for (const step of fresh) {
        seenEnds.add(step.endedAtMs);
        window.vornStepLatencies.push({ step: step.name, ms: now - step.endedAtMs });
      }
    });
  }
}

function draw(s) {
  last = s;
  window.vornState = s;
  makePanels(s);
  $('state').textContent = s.state;
  $('state').className = `state ${s.state}`;
  $('link').textContent = s.watchers > 1 ? `${s.watchers} screens` : '';
  $('stop').disabled = s.state === 'stopped' || s.state === 'stopping';
  $('notice').textContent = s.notice;
  s.panels.forEach((p, i) => drawPanel(panels[i], p, s));
  drawSession(s);
  drawStationPrompt(s);
  drawHealth(s);
  noteLatencies(s);
  focusField();
}

function connect() {
  const events = new EventSource('/events');
  events.onmessage = (e) => draw(JSON.parse(e.data));
  events.onopen = () => { $('link').textContent = ''; };
  events.onerror = () => {
    if (last && last.state === 'stopped') {
      events.close();  // the session is over: nothing comes back
      $('state').textContent = 'stopped';
      $('state').className = 'state stopped';
      for (const p of panels) {
        if (!last.panels[panels.indexOf(p)].banner) p.el.bannerSerial.textContent = 'The station stopped';
        p.el.start.disabled = p.el.serial.disabled = true;
      }
      $('stop').disabled = true;
      return;
    }
    $('state').textContent = 'no connection';
    $('state').className = 'state lost';
    $('link').textContent = 'reconnecting\u2026';
  };
}

$('login').addEventListener('submit', async (e) => {
  e.preventDefault();
  const name = $('badge').value.trim();
  $('badge').value = '';
  if (name) await act('/login', { operator: name });
  focusField();
});
$('badge').addEventListener('blur', () => setTimeout(focusField, 0));
clickOnly($('stop'), () => act('/stop'));
clickOnly($('logout'), () => act('/logout'));
document.addEventListener('visibilitychange', focusField);
$('stop-panel').addEventListener('submit', async (e) => {
  e.preventDefault();
  if (await act('/acknowledge-stop', { code: $('stop-code').value })) $('stop-code').value = '';
  focusField();
});
connect();
