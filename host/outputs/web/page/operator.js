// The operator's screen: draws the session from the host's events and sends
// the three actions. Everything shown comes from the host's state, so a
// reload or a second page shows the same.
'use strict';

const $ = (id) => document.getElementById(id);
const cls = (verdict) => verdict.replace(' ', '');

let last = null;          // the last state drawn
let plotShown = 0;        // the plot version on screen
const seenEnds = new Set();
let drawnOnce = false;
// How long after a step's end its verdict was drawn, in ms (read by the checks).
window.vornStepLatencies = [];

function item(tag, className, text) {
  const e = document.createElement(tag);
  if (className) e.className = className;
  if (text !== undefined) e.textContent = text;
  return e;
}

async function act(path, body) {
  try {
    const res = await fetch(path, {
      method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body || {}),
    });
    if (res.ok) { $('notice').textContent = ''; return true; }
    const answer = await res.json().catch(() => ({}));
    $('notice').textContent = answer.error || `the station refused (${res.status})`;
  } catch (e) {
    $('notice').textContent = 'no connection to the station';
  }
  return false;
}

function focusSerial() {
  if (!$('prompt').open && $('stop-panel').hidden) $('serial').focus();
}

function drawBanner(s) {
  const banner = $('banner');
  const lines = $('banner-lines');
  lines.replaceChildren();
  if (s.banner) {
    banner.className = `banner ${s.banner.verdict.toLowerCase()}`;
    $('verdict').textContent = s.banner.verdict;
    $('banner-serial').textContent = `Serial ${s.banner.serial}`;
    for (const line of s.banner.lines) lines.append(item('li', '', line));
  } else if (s.current && s.state !== 'idle') {
    banner.className = 'banner running';
    $('verdict').textContent = s.state === 'stopping' ? 'STOPPING' : 'TESTING';
    $('banner-serial').textContent = `Serial ${s.current.serial}`;
  } else if (s.state === 'stopped') {
    banner.className = 'banner error';
    $('verdict').textContent = 'STOPPED';
    $('banner-serial').textContent = 'The station stopped';
  } else {
    banner.className = 'banner none';
    $('verdict').textContent = 'READY';
    $('banner-serial').textContent = "Scan a phone's serial to start";
  }
}

function drawSteps(s) {
  const list = $('steps');
  list.replaceChildren();
  s.steps.forEach((step, i) => {
    const li = item('li', cls(step.verdict));
    li.dataset.step = step.name;
    const name = item('span', 'n', `${i + 1}. ${step.name}`);
    if (step.waits > 0) name.title = `${step.waits} waits, ${step.waitedMs} ms`;
    li.append(name, item('span', 'v', step.verdict === 'NOT RUN' ? '\u2013' : step.verdict));
    if (step.text || step.misses.length) li.title = [step.text, ...step.misses].filter(Boolean).join('\n');
    list.append(li);
  });
  const total = s.steps.length;
  $('progress-bar').style.width = total ? `${(100 * s.stepsDone) / total}%` : '0';
  $('unit-count').textContent = total ? `${s.stepsDone} of ${total} steps` : '';
  $('unit-title').textContent = s.current ? `Unit ${s.current.unit} \u00b7 ${s.current.serial}` +
    (s.current.attempt > 1 ? ` \u00b7 attempt ${s.current.attempt}` : '') : 'No unit running';
}

function drawWait(s) {
  const wait = $('wait');
  wait.hidden = !(s.waitMs > 0 && s.state !== 'idle');
  if (wait.hidden) return;
  $('wait-text').textContent = `Waiting for the equipment: ${(s.waitMs / 1000).toFixed(1)} s`;
  const bar = $('wait-bar');
  const left = Math.max(0, s.waitStartedAtMs + s.waitMs - Date.now());
  bar.style.transition = 'none';
  bar.style.width = `${100 * (1 - left / s.waitMs)}%`;
  requestAnimationFrame(() => {
    bar.style.transition = `width ${left}ms linear`;
    bar.style.width = '100%';
  });
}

function drawSession(s) {
  $('station').textContent = `${s.station || 'Vorn station'}${s.simulated ? ' (simulated)' : ''}`;
  $('fpy').textContent = s.firstPassYield === null ? '\u2013' : `${s.firstPassYield.toFixed(1)} %`;
  $('uph').textContent = s.unitsPerHour === null ? '\u2013' : s.unitsPerHour.toFixed(s.unitsPerHour < 10 ? 1 : 0);
  $('units').textContent = String(s.units);
  const rows = $('recent');
  rows.replaceChildren();
  for (const u of s.recent) {
    const tr = item('tr');
    tr.append(item('td', '', String(u.unit) + (u.attempt > 1 ? `/${u.attempt}` : '')), item('td', '', u.serial),
      item('td', cls(u.verdict), u.verdict), item('td', '', `${u.seconds.toFixed(1)} s`));
    rows.append(tr);
  }
  if (s.plotVersion !== plotShown) {
    plotShown = s.plotVersion;
    const img = $('plot');
    img.hidden = plotShown === 0;
    if (plotShown) img.src = `/spectrum.svg?v=${plotShown}`;
    $('plot-caption').textContent = plotShown ? 'Spectrum of the last unit' : 'The spectrum plot appears after the first unit';
  }
}

function drawPrompt(s) {
  const dialog = $('prompt');
  if (s.prompt) {
    $('prompt-text').textContent = s.prompt.text;
    dialog.dataset.id = String(s.prompt.id);
    if (!dialog.open) dialog.showModal();
    $('prompt-ok').focus();
  } else if (dialog.open) {
    dialog.close();
  }
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

function draw(s) {
  last = s;
  $('state').textContent = s.state;
  $('state').className = `state ${s.state}`;
  $('link').textContent = s.watchers > 1 ? `${s.watchers} screens` : '';
  $('start').disabled = s.state !== 'idle';
  $('stop').disabled = s.state === 'stopped' || s.state === 'stopping';
  $('serial').disabled = s.state === 'stopped';
  if (s.notice) $('notice').textContent = s.notice;
  drawBanner(s);
  drawSteps(s);
  drawWait(s);
  drawSession(s);
  drawPrompt(s);
  drawStationPrompt(s);
  drawHealth(s);
  if (s.health.stop) $('start').disabled = true;
  const fresh = s.steps.filter((step) => step.endedAtMs && !seenEnds.has(step.endedAtMs));
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
  focusSerial();
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
      $('banner-serial').textContent = 'The station stopped';
      $('start').disabled = $('stop').disabled = $('serial').disabled = true;
      return;
    }
    $('state').textContent = 'no connection';
    $('state').className = 'state lost';
    $('link').textContent = 'reconnecting\u2026';
  };
}

$('scan').addEventListener('submit', async (e) => {
  e.preventDefault();
  const serial = $('serial').value.trim();
  if (!serial) return;
  if (await act('/start', { serial })) $('serial').value = '';
  $('serial').select();
});
$('stop').addEventListener('click', () => act('/stop'));
$('stop-panel').addEventListener('submit', async (e) => {
  e.preventDefault();
  if (await act('/acknowledge-stop', { code: $('stop-code').value })) $('stop-code').value = '';
});
$('prompt-form').addEventListener('submit', () => {
  act('/acknowledge', { prompt: Number($('prompt').dataset.id) });
});
$('prompt').addEventListener('cancel', (e) => e.preventDefault());  // Escape does not answer it
$('prompt').addEventListener('close', focusSerial);
$('serial').addEventListener('blur', () => setTimeout(focusSerial, 0));
document.addEventListener('visibilitychange', focusSerial);
connect();
focusSerial();
