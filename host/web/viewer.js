// The page of `tavelo view`: scrubs and plays one composition of the project
// the server has open, with its layers' switches. Frames come from the
// server's frame cache (PNG when still, JPEG while playing); while playing,
// the frames ahead are requested and frames that are not there in time are
// skipped and counted as dropped.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const AHEAD = 12;        // frames requested ahead while playing
const KEPT = 300;        // frames kept in the page

const $ = (id) => document.getElementById(id);
const view = {
  comp: null,            // the composition's JSON (with its layers)
  frame: 0,              // the frame asked for
  shownFrame: -1,        // the frame on screen
  shownRevision: 0,      // the project's revision it was rendered from
  revision: 0,
  playing: false,
  shown: 0,              // frames shown since play was pressed
  dropped: 0,            // frame times passed without their frame
  playedMs: 0,           // how long it has played
};
window.tavelo = view;    // for tests and the console

function withToken(url) {
  return token ? url + (url.includes('?') ? '&' : '?') + 'token=' + encodeURIComponent(token) : url;
}

async function api(path, options = {}) {
  options.headers = Object.assign({}, options.headers, token ? { 'X-Tavelo-Token': token } : {});
  const r = await fetch(path, options);
  if (!r.ok) {
    let message = r.status + ' ' + r.statusText;
    try { message = (await r.json()).error; } catch (e) { /* not JSON */ }
    throw new Error(message);
  }
  return r;
}
const getJson = (path) => api(path).then((r) => r.json());
const post = (path, body) => api(path, {
  method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body || {}),
}).then((r) => r.json());

function showError(error) {
  $('error').hidden = !error;
  $('error').textContent = error ? String(error.message || error) : '';
}

// ---- Frames -------------------------------------------------------------

const frames = new Map();  // key -> {promise, ready, url, ms, hit}

function frameUrl(f, format) {
  return withToken(`/api/comps/${view.comp.id}/frame?frame=${f}&res=${$('res').value}&format=${format}`);
}

function fetchFrame(f, format) {
  const key = `${view.revision}|${view.comp.id}|${$('res').value}|${format}|${f}`;
  let entry = frames.get(key);
  if (entry) return entry;
  entry = { ready: false, revision: view.revision };
  entry.promise = api(frameUrl(f, format)).then(async (r) => {
    entry.ms = r.headers.get('X-Render-Ms');
    entry.hit = r.headers.get('X-Cache') === 'hit';
    entry.url = URL.createObjectURL(await r.blob());
    entry.ready = true;
    return entry;
  });
  entry.promise.catch(() => frames.delete(key));
  frames.set(key, entry);
  while (frames.size > KEPT) {
    const [oldKey, old] = frames.entries().next().value;
    if (old.url) URL.revokeObjectURL(old.url);
    frames.delete(oldKey);
  }
  return entry;
}

function forgetFrames() {
  for (const e of frames.values()) if (e.url) URL.revokeObjectURL(e.url);
  frames.clear();
}

function timecode(f) {
  const seconds = f / view.comp.fps;
  const m = Math.floor(seconds / 60);
  const s = (seconds - m * 60).toFixed(3).padStart(6, '0');
  return `${m}:${s}`;
}

function display(f, entry) {
  $('frame').src = entry.url;
  view.shownFrame = f;
  view.shownRevision = entry.revision;
  $('frame').dataset.frame = f;
  $('render-time').textContent = entry.hit ? `${entry.ms} ms (cached)` : `${entry.ms} ms`;
  $('position').textContent = `frame ${f} / ${view.comp.frames - 1}  ${timecode(f)}`;
  $('scrub').value = f;
  $('download').href = frameUrl(f, 'png');
  $('download').download = `${view.comp.name}_${f}.png`;
}

let scrubSerial = 0;
// Shows frame f exactly (PNG); the latest request wins.
async function seek(f) {
  if (!view.comp) return;
  f = Math.max(0, Math.min(view.comp.frames - 1, f));
  view.frame = f;
  $('scrub').value = f;
  const serial = ++scrubSerial;
  const start = performance.now();
  try {
    const entry = await fetchFrame(f, 'png').promise;
    if (serial !== scrubSerial || view.playing) return;
    display(f, entry);
    $('scrub-latency').textContent = `${(performance.now() - start).toFixed(0)} ms`;
    showError(null);
  } catch (e) {
    if (serial === scrubSerial) showError(e);
  }
}

// ---- Playing ------------------------------------------------------------

let audio = null;
let clock = { frame: 0, at: 0, base: 0, passed: 0, started: 0 };

function startSound(f) {
  stopSound();
  if (!$('sound').checked) return;
  const start = f / view.comp.fps;
  audio = new Audio(withToken(`/api/comps/${view.comp.id}/sound?start=${start}`));
  audio.play().catch(() => {});
}

function stopSound() {
  if (audio) audio.pause();
  audio = null;
}

// Every frame time the clock passes while playing is either shown or
// dropped: frames not there in time, before the first one shown as well as
// after the last, count as dropped.
function account() {
  view.dropped = Math.max(0, clock.passed - view.shown);
  $('shown').textContent = view.shown;
  $('dropped').textContent = view.dropped;
}

function tick(now) {
  if (!view.playing) return;
  let target = clock.frame + Math.floor(((now - clock.at) / 1000) * view.comp.fps);
  if (target >= view.comp.frames) {  // loops to the start
    // The loop starts when the last frame's time ended, not at this tick
    // (which comes later): the clock stays continuous over any number of
    // loops, so the frames and the sound keep time.
    let { frame, at, base } = clock;
    while (target >= view.comp.frames) {
      at += ((view.comp.frames - frame) * 1000) / view.comp.fps;
      base += view.comp.frames - frame;
      frame = 0;
      target = Math.max(0, Math.floor(((now - at) / 1000) * view.comp.fps));
    }
    clock = { frame: 0, at, base, passed: base, started: clock.started };
    view.shownFrame = -1;
    startSound(target);
  }
  clock.passed = clock.base + target - clock.frame + 1;
  view.playedMs = now - clock.started;
  for (let i = 0; i < AHEAD && target + i < view.comp.frames; ++i) fetchFrame(target + i, 'jpeg');
  const entry = fetchFrame(target, 'jpeg');
  if (target !== view.shownFrame && entry.ready) {
    display(target, entry);
    view.frame = target;
    view.shown += 1;
  }
  account();
  requestAnimationFrame(tick);
}

function play() {
  if (!view.comp || view.playing) return;
  view.playing = true;
  view.shown = 0;
  view.dropped = 0;
  view.playedMs = 0;
  const from = view.frame >= view.comp.frames - 1 ? 0 : view.frame;
  const now = performance.now();
  clock = { frame: from, at: now, base: 0, passed: 0, started: now };
  view.shownFrame = -1;
  $('play').textContent = 'Pause';
  startSound(from);
  requestAnimationFrame(tick);
}

function pause() {
  if (!view.playing) return;
  view.playing = false;
  stopSound();
  $('play').textContent = 'Play';
  seek(view.frame);
}

// ---- Compositions, layers, undo -------------------------------------------

function switchBox(layer, name) {
  const box = document.createElement('input');
  box.type = 'checkbox';
  box.checked = layer[name];
  box.title = `${name} of layer ${layer.number}`;
  box.dataset.layer = layer.number;
  box.dataset.switch = name;
  box.addEventListener('change', () => change(`/api/comps/${view.comp.id}/layers/${layer.number}`,
                                              { [name]: box.checked }));
  return box;
}

function showLayers() {
  const body = $('layers').tBodies[0];
  body.replaceChildren();
  for (const layer of view.comp.layers) {
    const row = body.insertRow();
    row.insertCell().textContent = layer.number;
    const name = row.insertCell();
    name.className = 'name';
    name.textContent = layer.name;
    name.title = `${layer.name} (${layer.source || 'no source'})`;
    for (const s of ['video', 'audio', 'effects']) row.insertCell().append(switchBox(layer, s));
    const solo = document.createElement('button');
    solo.textContent = 'solo';
    solo.title = 'this layer\'s video only (one undo step)';
    solo.addEventListener('click', () => change(`/api/comps/${view.comp.id}/layers/${layer.number}/solo`));
    row.insertCell().append(solo);
  }
}

async function change(path, body) {
  try {
    await post(path, body);
    await refresh();
  } catch (e) {
    showError(e);
    await refresh();
  }
}

async function openComp(id) {
  view.comp = await getJson(`/api/comps/${id}`);
  $('comp').value = String(id);
  $('scrub').max = view.comp.frames - 1;
  showLayers();
  await seek(Math.min(view.frame, view.comp.frames - 1));
}

// Reads the server's state; a new revision (a change, undo, redo or the
// project's file reloaded) drops the frames held and reads the
// compositions again, keeping the one shown when it is still there.
async function refresh() {
  const state = await getJson('/api/state');
  $('project').textContent = state.project;
  $('undo').disabled = !state.undo;
  $('undo').title = state.undo ? `Undo ${state.undo}` : 'nothing to undo';
  $('redo').disabled = !state.redo;
  $('redo').title = state.redo ? `Redo ${state.redo}` : 'nothing to redo';
  if (state.revision === view.revision) return;
  view.revision = state.revision;
  forgetFrames();
  if (state.error) {
    showError('the project could not be read: ' + state.error);
    return;
  }
  const comps = await getJson('/api/comps');
  const select = $('comp');
  select.replaceChildren(...comps.map((c) => new Option(`${c.name} (${c.width} x ${c.height}, ${c.fps} fps)`, c.id)));
  const previous = view.comp && comps.find((c) => c.name === view.comp.name);
  const chosen = previous || comps.find((c) => c.id === state.comp) || comps[0];
  if (!chosen) {
    showError('the project has no composition');
    return;
  }
  showError(null);
  await openComp(chosen.id);
}

// ---- Wiring ---------------------------------------------------------------

$('comp').addEventListener('change', () => { pause(); view.frame = 0; openComp(Number($('comp').value)).catch(showError); });
$('scrub').addEventListener('input', () => { pause(); seek(Number($('scrub').value)); });
$('play').addEventListener('click', () => (view.playing ? pause() : play()));
$('prev').addEventListener('click', () => { pause(); seek(view.frame - 1); });
$('next').addEventListener('click', () => { pause(); seek(view.frame + 1); });
$('res').addEventListener('change', () => { if (!view.playing) seek(view.frame); });
$('undo').addEventListener('click', () => change('/api/undo'));
$('redo').addEventListener('click', () => change('/api/redo'));
document.addEventListener('keydown', (event) => {
  if (event.target.tagName === 'SELECT' || !view.comp) return;
  const step = event.shiftKey ? 10 : 1;
  if (event.key === ' ') view.playing ? pause() : play();
  else if (event.key === 'ArrowLeft') { pause(); seek(view.frame - step); }
  else if (event.key === 'ArrowRight') { pause(); seek(view.frame + step); }
  else if (event.key === 'Home') { pause(); seek(0); }
  else if (event.key === 'End') { pause(); seek(view.comp.frames - 1); }
  else if ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === 'z') change(event.shiftKey ? '/api/redo' : '/api/undo');
  else return;
  event.preventDefault();
});

refresh().catch(showError);
setInterval(() => refresh().catch(showError), 1000);
