// The room remote's page. Everything it shows comes from the program over the WebSocket
// ("hello" once: the tables; "state" whenever something changed); every change goes back as a
// message the program sends through the desktop's own editors. Names and texts from the
// program are put in with textContent only, never as markup.
'use strict';

(function () {
  const SVG = 'http://www.w3.org/2000/svg';
  const MOVE_EVERY_MS = 40;      // a held control sends at most this often
  const RECONNECT_MS = 2000;

  let socket = null;
  let tables = null;
  let state = null;
  let nextId = 1;
  let holding = null;            // the key of the control under the operator's finger
  // A control let go stays held until the program has taken its last value and the state after
  // it has come: the echoes of its earlier moves, still on their way, would pull it back.
  let settling = null;           // { key, id, answered }
  const selectedBand = { left: 1, right: 1 };
  const channels = {};           // per channel: its elements

  const $ = (id) => document.getElementById(id);
  const text = (el, t) => { el.textContent = t; };

  // ---- Texts.
  function hz(f) {
    if (f >= 1000) {
      const k = f / 1000;
      return (k >= 10 ? k.toFixed(1) : k.toFixed(2)).replace(/\.?0+$/, '') + ' kHz';
    }
    return (f >= 100 ? f.toFixed(0) : f.toFixed(1).replace(/\.0$/, '')) + ' Hz';
  }
  const db = (v) => (v > 0 ? '+' : '') + v.toFixed(1) + ' dB';

  // ---- The PEQ plot in the program's own coordinates: x the grid column (0..359), y the
  // plot row (0 dB at row 75 for markers, 76 for the curve; 50 rows to 12 dB).
  const markerRow = (gain) => Math.ceil(75 - gain * 50 / 12);
  const curveRow = (gain) => tables.curveZeroRow - gain * 50 / 12;
  function columnOf(freq) {
    const grid = tables.peqGrid;
    if (!(freq > 19)) return 0;
    for (let i = 0; i < grid.length; ++i) if (grid[i] >= freq) return i;
    return grid.length - 1;
  }
  // Q on a logarithmic slider 0..1000 between 0.4 and 128, kept in tenths as the editor keeps it.
  const qFromSlider = (p) => Math.max(0.4, Math.round(10 * 0.4 * Math.pow(320, p / 1000)) / 10);
  const sliderFromQ = (q) => Math.round(1000 * Math.log(q / 0.4) / Math.log(320));

  // ---- Messages.
  function send(message) {
    if (!socket || socket.readyState !== WebSocket.OPEN) return 0;
    message.id = nextId++;
    socket.send(JSON.stringify(message));
    return message.id;
  }
  const setValues = (values) => send({ type: 'set', values });
  const edit = (values, phase) => send({ type: 'edit', phase, values });

  // A control held by the operator sends its moves at most every MOVE_EVERY_MS and its value
  // once more when let go; the program drops moves while a frame is pending, as the desktop's
  // slider does, and resends the last value.
  function throttled(key) {
    let last = 0;
    let timer = null;
    let pending = null;
    const flush = () => {
      timer = null;
      if (pending) { edit(pending, 'move'); pending = null; last = Date.now(); }
    };
    return {
      move(values) {
        holding = key;
        settling = null;
        pending = values;
        const wait = MOVE_EVERY_MS - (Date.now() - last);
        if (wait <= 0) flush();
        else if (!timer) timer = setTimeout(flush, wait);
      },
      end(values) {
        if (timer) { clearTimeout(timer); timer = null; }
        pending = null;
        const id = edit(values, 'end');
        if (id) settling = { key, id, answered: false };
        else holding = null;
      },
    };
  }

  function showToast(message) {
    const t = $('toast');
    text(t, message);
    t.hidden = false;
    clearTimeout(showToast.timer);
    showToast.timer = setTimeout(() => { t.hidden = true; }, 4000);
  }

  // ---- Building the channels.
  function slider(el, key, toValue) {
    const t = throttled(key);
    el.addEventListener('input', () => t.move({ [key]: toValue(Number(el.value)) }));
    el.addEventListener('change', () => t.end({ [key]: toValue(Number(el.value)) }));
  }

  function buildChannel(name) {
    const section = $('ch-' + name);
    section.appendChild($('channel-template').content.cloneNode(true));
    const get = (role) => section.querySelector('[data-role="' + role + '"]');
    const c = { section, get };
    channels[name] = c;
    // Ids for each control, so that a test (or an accessibility tool) finds them.
    for (const el of section.querySelectorAll('[data-role]')) {
      const role = el.dataset.role;
      el.id = role === 'band' ? 'band-' + el.dataset.band + '-' + name : role + '-' + name;
    }

    slider(get('gain'), name + '.gain', (p) => p / 10);
    get('gain').addEventListener('input', () => text(get('gain-text'), db(Number(get('gain').value) / 10)));
    get('mute').addEventListener('click', () =>
      send({ type: 'mute', channel: name, muted: !state.channels[name].muted }));

    slider(get('delay'), name + '.delay', (p) => p / 100);
    get('delay').addEventListener('input', () => text(get('delay-text'), (Number(get('delay').value) / 100).toFixed(2) + ' ms'));
    slider(get('limit'), name + '.limitThreshold', (p) => p);
    get('limit').addEventListener('input', () => text(get('limit-text'), (Number(get('limit').value) - 41) + ' dB'));
    get('limit-on').addEventListener('click', () => {
      const ch = state.channels[name];
      setValues({ [name + '.limitThreshold']: ch.limiterOn ? 'off' : ch.limitThreshold });
    });
    get('phase').addEventListener('click', () =>
      setValues({ [name + '.phase']: state.channels[name].phase === 180 ? 0 : 180 }));

    for (const filter of ['hp', 'lp']) {
      const key = name + (filter === 'hp' ? '.highPass' : '.lowPass');
      const select = get(filter + '-slope');
      tables.slopes.forEach((s, i) => {
        const o = document.createElement('option');
        o.value = String(i);
        text(o, s);
        select.appendChild(o);
      });
      select.addEventListener('change', () => setValues({ [key + '.slope']: Number(select.value) }));
      const range = get(filter + '-freq');
      const limits = filter === 'hp' ? tables.highPass : tables.lowPass;
      range.min = String(limits.lowest);
      range.max = String(limits.highest);
      slider(range, key + '.freq', (p) => tables.crossover[p]);
      range.addEventListener('input', () => text(get(filter + '-text'), hz(tables.crossover[Number(range.value)])));
    }

    for (const b of section.querySelectorAll('[data-role="band"]'))
      b.addEventListener('click', () => { selectedBand[name] = Number(b.dataset.band); render(); });
    get('flat').addEventListener('click', () => {
      const band = selectedBand[name];
      setValues({ [name + '.peq.' + band + '.flat']: !state.channels[name].peq[band - 1].flat });
    });
    const q = get('q');
    const qEdit = throttled(name + '.q');
    const qKey = () => name + '.peq.' + selectedBand[name] + '.q';
    q.addEventListener('input', () => {
      text(get('q-text'), 'Q ' + qFromSlider(Number(q.value)).toFixed(1));
      qEdit.move({ [qKey()]: qFromSlider(Number(q.value)) });
    });
    q.addEventListener('change', () => qEdit.end({ [qKey()]: qFromSlider(Number(q.value)) }));
    buildPlot(name, get('peq'));
  }

  function svg(tag, attrs, parent) {
    const el = document.createElementNS(SVG, tag);
    for (const [k, v] of Object.entries(attrs)) el.setAttribute(k, String(v));
    if (parent) parent.appendChild(el);
    return el;
  }

  function buildPlot(name, plot) {
    // Grid lines where the desktop's plot has them: +12, +6, 0, -6, -12 dB; 50 Hz .. 10 kHz.
    for (const row of [25, 50, 75, 100, 125])
      svg('line', { x1: 0, x2: 360, y1: row, y2: row, class: row === 75 ? 'grid zero' : 'grid' }, plot);
    for (const col of [48, 84, 120, 167, 203, 239, 287, 323])
      svg('line', { x1: col, x2: col, y1: 0, y2: 150, class: 'grid' }, plot);
    const curve = svg('path', { class: 'curve', d: '' }, plot);
    const markers = [];
    for (let band = 1; band <= 3; ++band) {
      const g = svg('g', { 'data-band': band, id: 'marker-' + band + '-' + name }, plot);
      const mark = svg('rect', { class: 'marker', width: 7, height: 7, x: 0, y: 0 }, g);
      // The finger's target: 50 x 34 plot units, at least 44 px each way at phone width.
      const hit = svg('rect', { class: 'hit', width: 50, height: 34, x: 0, y: 0 }, g);
      markers.push({ g, mark, hit, band });
    }
    channels[name].curve = curve;
    channels[name].markers = markers;

    let drag = null;
    const toPlot = (ev) => {
      const r = plot.getBoundingClientRect();
      return { x: (ev.clientX - r.left) * 360 / r.width, y: (ev.clientY - r.top) * 150 / r.height };
    };
    const bandValues = (p) => {
      const col = Math.max(0, Math.min(359, Math.round(p.x)));
      const gain = Math.max(-12, Math.min(12, Math.round((75 - p.y) * 12 / 50 * 10) / 10));
      return { col, gain };
    };
    const valuesOf = (band, v) => ({
      [name + '.peq.' + band + '.freq']: tables.peqGrid[v.col],
      [name + '.peq.' + band + '.gain']: v.gain,
    });
    plot.addEventListener('pointerdown', (ev) => {
      const g = ev.target.closest('g[data-band]');
      if (!g || $('controls').disabled) return;
      const band = Number(g.dataset.band);
      if (state.channels[name].peq[band - 1].flat) { selectedBand[name] = band; render(); return; }
      selectedBand[name] = band;
      drag = { band, edit: throttled(name + '.peq.' + band), last: null };
      plot.setPointerCapture(ev.pointerId);
      ev.preventDefault();
      render();
    });
    plot.addEventListener('pointermove', (ev) => {
      if (!drag) return;
      const v = bandValues(toPlot(ev));
      drag.last = v;
      placeMarker(name, drag.band, v.col, markerRow(v.gain));
      text(channels[name].get('band-text'), drag.band + ': ' + hz(tables.peqGrid[v.col]) + ' ' + db(v.gain));
      drag.edit.move(valuesOf(drag.band, v));
    });
    const end = () => {
      if (!drag) return;
      if (drag.last) drag.edit.end(valuesOf(drag.band, drag.last));
      else holding = null;
      drag = null;
    };
    plot.addEventListener('pointerup', end);
    plot.addEventListener('pointercancel', end);
  }

  function placeMarker(name, band, col, row) {
    const m = channels[name].markers[band - 1];
    m.mark.setAttribute('x', col - 3);
    m.mark.setAttribute('y', row - 3);
    m.hit.setAttribute('x', col - 25);
    m.hit.setAttribute('y', row - 17);
  }

  // ---- Showing the state.
  function setRange(el, value, key) {
    if (holding !== key) el.value = String(value);
  }

  function renderChannel(name) {
    const c = channels[name];
    const ch = state.channels[name];
    const get = c.get;
    setRange(get('gain'), Math.round(ch.gain * 10), name + '.gain');
    if (holding !== name + '.gain') text(get('gain-text'), ch.muted ? 'MUTED' : db(ch.gain));
    get('gain').disabled = !ch.gainEnabled;
    get('mute').classList.toggle('active', ch.muted);
    get('mute').disabled = !ch.muteEnabled;

    setRange(get('delay'), Math.round(ch.delay * 100), name + '.delay');
    if (holding !== name + '.delay') text(get('delay-text'), ch.delay.toFixed(2) + ' ms');
    setRange(get('limit'), ch.limitThreshold, name + '.limitThreshold');
    if (holding !== name + '.limitThreshold') text(get('limit-text'), ch.limiterOn ? ch.limitThresholdDb + ' dB' : 'off');
    get('limit').disabled = !ch.limiterOn;
    get('limit-on').classList.toggle('active', ch.limiterOn);
    get('phase').classList.toggle('active', ch.phase === 180);

    for (const [filter, f] of [['hp', ch.highPass], ['lp', ch.lowPass]]) {
      const key = name + (filter === 'hp' ? '.highPass' : '.lowPass') + '.freq';
      const range = get(filter + '-freq');
      // As the desktop's scroll bars: the high-pass never above the low-pass, nor below it.
      if (filter === 'hp') range.max = String(Math.min(tables.highPass.highest, ch.lowPass.position));
      else range.min = String(Math.max(tables.lowPass.lowest, ch.highPass.position));
      setRange(range, f.position, key);
      if (holding !== key) text(get(filter + '-text'), hz(f.freq));
      const select = get(filter + '-slope');
      if (document.activeElement !== select) select.value = String(f.slope);
    }

    const band = selectedBand[name];
    const b = ch.peq[band - 1];
    for (const el of c.section.querySelectorAll('[data-role="band"]'))
      el.classList.toggle('active', Number(el.dataset.band) === band);
    get('flat').classList.toggle('active', b.flat);
    setRange(get('q'), sliderFromQ(b.q), name + '.q');
    if (holding !== name + '.q') text(get('q-text'), 'Q ' + b.q.toFixed(1));
    if (!holding || !holding.startsWith(name + '.peq.'))
      text(get('band-text'), band + ': ' + hz(b.freq) + ' ' + db(b.gain) + (b.flat ? ' FLAT' : ''));
    get('q').disabled = b.flat;

    c.curve.setAttribute('d', ch.curve.map((g, i) => (i ? 'L' : 'M') + i + ' ' + curveRow(g).toFixed(2)).join(' '));
    ch.peq.forEach((p, i) => {
      const m = c.markers[i];
      m.mark.classList.toggle('selected', i + 1 === band);
      m.mark.classList.toggle('flat', p.flat);
      if (holding !== name + '.peq.' + (i + 1)) placeMarker(name, i + 1, columnOf(p.freq), markerRow(p.gain));
    });
  }

  function renderMemory() {
    const m = state.memory;
    const list = $('slots');
    while (list.firstChild) list.removeChild(list.firstChild);
    text($('memory-note'), m.refreshed ? '' : 'The slots have not been read yet: Refresh reads them.');
    for (const s of m.slots) {
      const li = $('slot-template').content.firstElementChild.cloneNode(true);
      li.id = 'slot-' + s.slot;
      text(li.querySelector('.slot-no'), String(s.slot));
      text(li.querySelector('.slot-name'), s.inUse ? s.name : (s.answered ? '(empty)' : ''));
      li.classList.toggle('current', m.current === s.slot);
      li.classList.toggle('empty', s.answered && !s.inUse);
      const recall = li.querySelector('.recall');
      recall.id = 'recall-' + s.slot;
      recall.disabled = s.answered && !s.inUse;
      recall.addEventListener('click', () => send({ type: 'recall', slot: s.slot }));
      list.appendChild(li);
    }
  }

  function render() {
    if (!state || !tables) return;
    const link = state.link;
    $('lamp').classList.toggle('on', link.online);
    text($('status'), link.status);
    text($('ident'), link.online ? 'ID ' + link.id + (link.sub ? ' / ' + link.sub : '') + ' · FW ' + link.firmware : '');
    text($('mode'), link.online ? link.mode.toUpperCase() + (state.test ? ' · ' + state.test.toUpperCase() + ' TEST' : '') : '');
    const held = state.reason !== '';
    $('banner').hidden = !held;
    text($('banner-text'), state.reason);
    $('banner-progress').hidden = !state.busy;
    $('banner-progress').value = state.progress;
    // Held controls, as the desktop's panel is disabled.
    $('controls').disabled = held;
    renderChannel('left');
    renderChannel('right');
    renderMemory();
    document.body.dataset.ready = 'true';
  }

  // ---- Tabs.
  function showTab(which) {
    for (const t of document.querySelectorAll('.tab')) t.setAttribute('aria-selected', String(t.dataset.channel === which));
    $('ch-left').hidden = which !== 'left';
    $('ch-right').hidden = which !== 'right';
    $('memory').hidden = which !== 'memory';
  }

  function release() {
    if (holding === settling.key) holding = null;
    settling = null;
  }

  // ---- The connection.
  function connect() {
    const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/ws');
    socket.addEventListener('message', (ev) => {
      const m = JSON.parse(ev.data);
      if (m.type === 'hello') {
        if (!tables) {
          tables = m;
          buildChannel('left');
          buildChannel('right');
        }
      } else if (m.type === 'state') {
        state = m;
        if (settling && settling.answered) release();
        render();
      } else if (m.type === 'result') {
        if (settling && m.id === settling.id) settling.answered = true;
      } else if (m.type === 'error') {
        showToast(m.error);
        // Refused: nothing changed, the control shows what the program has.
        if (settling && m.id === settling.id) {
          release();
          if (state) render();
        }
      }
    });
    socket.addEventListener('close', (ev) => {
      socket = null;
      holding = null;
      settling = null;
      $('lamp').classList.remove('on');
      text($('status'), 'NO LINK');
      $('controls').disabled = true;
      $('banner').hidden = false;
      $('banner-progress').hidden = true;
      if (ev.code === 4401) {
        text($('banner-text'), 'Not paired: scan the room remote\'s QR code again.');
        return;
      }
      if (ev.code === 1008) {
        text($('banner-text'), ev.reason || 'Too many pages are open.');
        return;
      }
      text($('banner-text'), 'The connection to TALVO Control was lost; trying again...');
      setTimeout(connect, RECONNECT_MS);
    });
  }

  document.addEventListener('DOMContentLoaded', () => {
    for (const t of document.querySelectorAll('.tab')) t.addEventListener('click', () => showTab(t.dataset.channel));
    $('refresh').addEventListener('click', () => send({ type: 'refresh' }));
    connect();
  });
})();
