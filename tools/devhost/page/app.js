// The session page of the development host. It reads the champ-select
// session through the plugin's own routes, follows /events to stay current
// without a reload, and picks and bans through the plugin's action route.
// Its traffic pane follows the module's crossings of the host boundary
// (/_dev/traffic and its stream, with the run's token).
// Every text from the server reaches the DOM through textContent or an
// attribute, never as markup.
'use strict';

(() => {
  const API = '/tav-champ-select/v1/';
  const SESSION_URI = '/tav-champ-select/v1/session';
  const MAX_LOG_ENTRIES = 300;
  // The time shown is the simulation's, read from the plugin's timer route:
  // the page keeps no clock of its own.
  const TIMER_READ_MS = 1000;

  // The control routes need the per-run token the start line printed.
  const token = new URLSearchParams(window.location.search).get('token') || '';

  const state = {
    implementation: undefined,
    session: null,
    sessionError: '',
    pickable: [],
    bannable: [],
    timer: null,  // the last answer of the timer route
    clock: null,  // GET /_dev/clock
    flow: null,   // GET /_dev/flow; null without a flow
    hasFlow: false,  // the scenario has one, as /_dev/state says
    // Events taken per resource: a read that was overtaken by an event
    // answers with what may be older than the event, and is dropped (any
    // later change brings an event of its own).
    sessionEvents: 0,
    listEvents: { pickable: 0, bannable: 0 },
  };

  const $ = (id) => document.getElementById(id);

  // Builds an element; string and number children become text nodes.
  function el(tag, props, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(props || {})) {
      if (value === undefined || value === null || value === false) continue;
      if (key === 'className') node.className = value;
      else if (key === 'dataset') Object.assign(node.dataset, value);
      else node.setAttribute(key, value === true ? '' : String(value));
    }
    for (const child of children.flat()) {
      if (child === undefined || child === null || child === false) continue;
      node.append(child instanceof Node ? child : document.createTextNode(String(child)));
    }
    return node;
  }

  const text = (value) => (value === undefined || value === null ? '' : String(value));
  const or = (value, fallback) => (value === undefined || value === null || value === '' ? fallback : value);

  function showMessage(message) {
    const node = $('message');
    node.textContent = message;
    node.hidden = message === '';
  }

  async function request(method, url, body, headers) {
    const init = { method, headers: Object.assign({ Accept: 'application/json' }, headers || {}) };
    if (body !== undefined) {
      init.headers['Content-Type'] = 'application/json';
      init.body = JSON.stringify(body);
    }
    const response = await fetch(url, init);
    const raw = await response.text();
    let value = null;
    if (raw !== '') {
      try {
        value = JSON.parse(raw);
      } catch (e) {
        value = raw;
      }
    }
    if (!response.ok) {
      const message = value && typeof value === 'object' && 'message' in value ? value.message : raw;
      const error = new Error(`${response.status} ${text(message) || response.statusText}`);
      error.status = response.status;
      throw error;
    }
    return value;
  }

  const control = (method, path, body) =>
    request(method, `/_dev/${path}`, body, { 'X-Tav-Dev-Token': token });

  // ---- loading through the plugin's routes ----

  async function loadSession() {
    const events = state.sessionEvents;
    let session = null;
    let error = '';
    try {
      session = await request('GET', `${API}session`);
    } catch (failure) {
      error = failure.message;
    }
    if (events === state.sessionEvents) setSession(session, error);
  }

  async function loadChampionList(kind) {
    const events = state.listEvents[kind];
    const list = await request('GET', `${API}${kind}-champions`)
      .then((v) => (v && v.championIds) || [], () => []);
    if (events === state.listEvents[kind]) state[kind] = list;
  }

  async function loadChampions() {
    await Promise.all(['pickable', 'bannable'].map(loadChampionList));
    renderActionForm();
  }

  async function loadImplementation() {
    if (!token) return;
    try {
      const devState = await control('GET', 'state');
      setImplementation(devState ? devState.activeImplementation : null);
      state.hasFlow = Boolean(devState && devState.flow);
      const warnings = (devState && devState.warnings) || [];
      $('warnings').hidden = warnings.length === 0;
      $('warnings').replaceChildren(...warnings.map((w) => el('li', null, w)));
    } catch (error) {
      showMessage(`Control routes refused the token: ${error.message}`);
    }
  }

  function reloadAll() {
    return Promise.all([loadSession(), loadChampions()]);
  }

  // ---- state changes ----

  function setImplementation(name) {
    state.implementation = name === undefined ? null : name;
    const badge = $('active-implementation');
    badge.textContent = state.implementation === null ? 'none' : state.implementation;
    badge.dataset.implementation = state.implementation === null ? '' : state.implementation;
    for (const button of document.querySelectorAll('[data-implementation]')) {
      button.setAttribute('aria-pressed', String(button.dataset.implementation === (state.implementation || '')));
    }
  }

  function setSession(session, error) {
    state.session = session && typeof session === 'object' ? session : null;
    state.sessionError = error;
    render();
    loadTimer();
  }

  let timerReading = false;

  // Read only while there is a session: without one the route answers 404.
  async function loadTimer() {
    if (timerReading || !state.session) return;
    timerReading = true;
    try {
      const timer = await request('GET', `${API}session/timer`);
      state.timer = timer && typeof timer === 'object' ? timer : null;
    } catch (error) {
      state.timer = null;
    } finally {
      timerReading = false;
    }
    renderTimer();
  }

  let clockReading = false;

  // The tool clock and the flow, with the token only.
  async function loadClock() {
    if (!token || clockReading) return;
    clockReading = true;
    try {
      state.clock = await control('GET', 'clock');
      state.flow = state.hasFlow ? await control('GET', 'flow').catch(() => null) : null;
    } catch (error) {
      state.clock = null;
    } finally {
      clockReading = false;
    }
    renderClock();
  }

  function clockChange(body) {
    control('POST', 'clock', body)
      .then((clock) => { state.clock = clock; renderClock(); loadTimer(); loadClock(); })
      .catch((error) => showMessage(`The clock refused: ${error.message}`));
  }

  function renderClock() {
    const clock = state.clock;
    $('clock-controls').hidden = !clock;
    if (!clock) return;
    $('clock-now').textContent = `${(clock.nowMs / 1000).toFixed(1)} s${clock.paused ? ' (paused)' : ''}`;
    $('clock-toggle').textContent = clock.paused ? 'play' : 'pause';
    $('clock-step').disabled = !clock.paused;
    $('clock-speed').value = String(clock.speed);
    const flow = state.flow;
    $('flow').hidden = !flow;
    if (!flow) return;
    const turn = flow.turn === null || flow.turn === undefined ? '' : ` · turn ${flow.turn + 1} of ${flow.turns}`;
    $('flow-phase').textContent = `${flow.phase}${turn}`;
    const cells = state.session ? cellsById(state.session) : new Map();
    $('flow-actors').textContent = (flow.actors || [])
      .map((id) => cellName(cells.get(String(id)), id)).join(', ') || '—';
    $('flow-next').textContent = (flow.next || [])
      .map((entry) => `${(entry.atMs / 1000).toFixed(1)} s ${entry.does}${entry.path ? ` ${entry.path}` : ''}`)
      .join('; ') || '—';
  }

  // ---- scripted answers: listed with the timer's reads, as times run out ----

  function answerSummary(answer) {
    const outcome = answer.hang ? 'hangs' : answer.status !== undefined ? `${text(answer.status)} ${text(answer.message)}` : 'value';
    const extras = [
      answer.times !== undefined ? `${text(answer.times)} more` : '',
      answer.delayMs !== undefined ? `after ${text(answer.delayMs)} ms` : '',
    ].filter((part) => part !== '');
    return `${text(answer.method)} ${text(answer.url)} → ${outcome}${extras.length ? ` (${extras.join(', ')})` : ''}`;
  }

  async function loadAnswers() {
    if (!token) return;
    let all;
    try {
      all = await control('GET', 'answers');
    } catch (error) {
      return;
    }
    const rows = [];
    for (const [implementation, answers] of Object.entries(asObject(all))) {
      for (const answer of Array.isArray(answers) ? answers : []) {
        const query = new URLSearchParams({ implementation, method: text(answer.method), url: text(answer.url) });
        const remove = el('button', { type: 'button', title: 'Remove this answer' }, 'remove');
        remove.addEventListener('click', () =>
          control('DELETE', `answers?${query}`).then(loadAnswers, (error) => showMessage(`Removing failed: ${error.message}`)));
        rows.push(el('li', { dataset: { implementation } }, el('span', { className: 'what' }, `${implementation} ${answerSummary(answer)}`), remove));
      }
    }
    $('scripted-answers').replaceChildren(...rows);
    $('no-answers').hidden = rows.length > 0;
  }

  // ---- actions: groups of turns, each action done, in progress or pending ----

  function actionGroups(session) {
    const groups = [];
    for (const entry of (session && session.actions) || []) {
      const list = Array.isArray(entry) ? entry : [entry];
      groups.push(list.filter((a) => a && typeof a === 'object'));
    }
    return groups;
  }

  // An action says whether it is in progress when its implementation tells;
  // otherwise the first turn with an open action is the one in progress.
  function actionStates(groups) {
    const states = new Map();
    const told = groups.some((g) => g.some((a) => 'isInProgress' in a));
    let current = -1;
    if (!told) current = groups.findIndex((g) => g.some((a) => !a.completed));
    groups.forEach((group, index) => {
      for (const action of group) {
        let s = 'pending';
        if (action.completed) s = 'completed';
        else if (told ? action.isInProgress : index === current) s = 'in-progress';
        states.set(action, s);
      }
    });
    return states;
  }

  const STATE_LABEL = { completed: 'completed', 'in-progress': 'in progress', pending: 'pending' };

  // ---- rendering ----

  function cellsById(session) {
    const cells = new Map();
    for (const cell of [...(session.myTeam || []), ...(session.theirTeam || [])]) {
      if (cell && typeof cell === 'object') cells.set(String(cell.cellId), cell);
    }
    return cells;
  }

  const cellName = (cell, id) => (cell && cell.displayName) || `cell ${text(id)}`;
  const champion = (id) => (Number(id) ? `#${id}` : 'none');

  function renderCell(cell, session, acting) {
    const local = String(cell.cellId) === String(session.localPlayerCellId);
    const championText = Number(cell.championId)
      ? champion(cell.championId)
      : Number(cell.championPickIntent) ? `intent #${cell.championPickIntent}` : 'none';
    return el('li', {
      className: ['cell', local && 'local', acting.has(String(cell.cellId)) && 'acting'].filter(Boolean).join(' '),
      dataset: { cellId: text(cell.cellId) },
    },
    el('div', { className: 'cell-head' },
      el('span', { className: 'cell-name', dataset: { field: 'displayName' } }, cellName(cell, cell.cellId)),
      local ? el('span', { className: 'tag' }, 'you') : null),
    el('dl', { className: 'pairs small' },
      el('dt', {}, 'position'), el('dd', { dataset: { field: 'assignedPosition' } }, or(cell.assignedPosition, '—')),
      el('dt', {}, 'champion'), el('dd', { dataset: { field: 'championId' } }, championText),
      el('dt', {}, 'spells'), el('dd', { dataset: { field: 'spells' } }, `${text(cell.spell1Id)} / ${text(cell.spell2Id)}`),
      el('dt', {}, 'summoner'), el('dd', { dataset: { field: 'summonerId' } }, Number(cell.summonerId) ? text(cell.summonerId) : '—')));
  }

  function renderTeams(session, acting) {
    $('my-team').replaceChildren(...(session ? (session.myTeam || []).filter(Boolean).map((c) => renderCell(c, session, acting)) : []));
    $('their-team').replaceChildren(...(session ? (session.theirTeam || []).filter(Boolean).map((c) => renderCell(c, session, acting)) : []));
  }

  function renderBans(session) {
    const bans = (session && session.bans) || {};
    const list = (ids) => (ids && ids.length ? ids.map(champion).join(', ') : '—');
    $('my-team-bans').textContent = list(bans.myTeamBans);
    $('their-team-bans').textContent = list(bans.theirTeamBans);
    $('num-bans').textContent = session ? text(or(bans.numBans, '—')) : '—';
  }

  function renderActions(session, groups, states) {
    const cells = session ? cellsById(session) : new Map();
    $('actions').replaceChildren(...groups.map((group, index) => el('li', { className: 'turn' },
      el('span', { className: 'turn-number muted small' }, `turn ${index + 1}`),
      el('ol', { className: 'turn-actions' }, ...group.map((action) => {
        const s = states.get(action);
        return el('li', { className: `action ${s}`, dataset: { actionId: text(action.id), state: s } },
          el('span', { className: `kind ${action.type === 'ban' ? 'ban' : 'pick'}` }, text(or(action.type, '?'))),
          el('span', { className: 'actor' }, cellName(cells.get(String(action.actorCellId)), action.actorCellId)),
          el('span', { className: 'action-champion', dataset: { field: 'championId' } }, champion(action.championId)),
          el('span', { className: 'action-state small' }, STATE_LABEL[s]),
          el('span', { className: 'muted small' }, `#${text(action.id)}`));
      })))));
  }

  // The form offers the open actions, the local player's current one first.
  function renderActionForm() {
    const session = state.session;
    const groups = actionGroups(session);
    const states = actionStates(groups);
    const open = groups.flat().filter((a) => !a.completed);
    const actionSelect = $('act-action');
    const previous = actionSelect.value;
    const local = session ? String(session.localPlayerCellId) : '';
    const cells = session ? cellsById(session) : new Map();
    open.sort((a, b) => rank(a) - rank(b));
    function rank(a) {
      const mine = String(a.actorCellId) === local;
      const now = states.get(a) === 'in-progress';
      return (mine && now ? 0 : now ? 1 : mine ? 2 : 3);
    }
    actionSelect.replaceChildren(...open.map((a) => el('option', { value: text(a.id) },
      `#${text(a.id)} ${text(a.type)} · ${cellName(cells.get(String(a.actorCellId)), a.actorCellId)}` +
      (states.get(a) === 'in-progress' ? ' (in progress)' : ''))));
    if (open.some((a) => String(a.id) === previous)) actionSelect.value = previous;

    const chosen = open.find((a) => String(a.id) === actionSelect.value);
    const championSelect = $('act-champion');
    const previousChampion = championSelect.value;
    const ids = chosen && chosen.type === 'ban' ? state.bannable : state.pickable;
    championSelect.replaceChildren(...ids.map((id) => el('option', { value: text(id) }, champion(id))));
    if (ids.some((id) => String(id) === previousChampion)) championSelect.value = previousChampion;

    const disabled = !chosen || ids.length === 0;
    $('act-lock').disabled = disabled;
    $('act-hover').disabled = disabled;
    $('act-lock').textContent = chosen && chosen.type === 'ban' ? 'ban' : 'lock in';
  }

  function renderTimer() {
    const timer = state.session ? state.timer : null;
    $('timer-phase').textContent = timer ? or(timer.phase, '—') : '—';
    if (!timer) {
      $('timer-left').textContent = '—';
      $('timer-total').textContent = '—';
      $('timer-bar').style.width = '0%';
      return;
    }
    const left = Math.max(0, Number(or(timer.adjustedTimeLeftInPhase, timer.timeLeftInPhase)) || 0);
    const total = Number(timer.totalTimeInPhase) || 0;
    if (timer.isInfinite) {
      $('timer-left').textContent = '∞';
      $('timer-bar').style.width = '100%';
    } else {
      $('timer-left').textContent = `${(left / 1000).toFixed(1)} s`;
      $('timer-left').dataset.leftMs = String(left);
      $('timer-bar').style.width = total > 0 ? `${Math.min(100, (100 * left) / total)}%` : '0%';
    }
    $('timer-total').textContent = `${(total / 1000).toFixed(0)} s in this phase`;
  }

  function render() {
    const session = state.session;
    const groups = actionGroups(session);
    const states = actionStates(groups);
    const acting = new Set();
    for (const [action, s] of states) {
      if (s === 'in-progress') acting.add(String(action.actorCellId));
    }
    showMessage(session ? '' : state.sessionError ? `No session: ${state.sessionError}` : '');
    renderTeams(session, acting);
    renderBans(session);
    renderActions(session, groups, states);
    renderActionForm();
    renderTimer();
    $('session').dataset.loaded = session ? 'true' : 'false';
  }

  // ---- picking and banning through the plugin's route ----

  async function act(completed) {
    const id = $('act-action').value;
    const championId = Number($('act-champion').value);
    const result = $('act-result');
    result.textContent = '…';
    result.dataset.state = 'busy';
    try {
      await request('PATCH', `${API}session/actions/${encodeURIComponent(id)}`, { championId, completed });
      result.textContent = `${completed ? 'locked in' : 'hovering'} ${champion(championId)} for action #${id}`;
      result.dataset.state = 'ok';
    } catch (error) {
      result.textContent = error.message;
      result.dataset.state = 'error';
    }
  }

  // ---- the event stream ----

  let source = null;

  function logEntry(kind, summary, detail) {
    const events = $('events');
    const time = new Date().toISOString().slice(11, 23);
    const entry = el('li', { className: `event ${kind}`, dataset: { kind } },
      el('span', { className: 'time muted' }, time),
      el('span', { className: 'event-kind' }, kind),
      el('span', { className: 'summary' }, summary));
    if (detail !== undefined) {
      entry.append(el('details', {}, el('summary', {}, 'data'), el('pre', {}, JSON.stringify(detail, null, 2))));
    }
    events.prepend(entry);
    while (events.childElementCount > MAX_LOG_ENTRIES) events.lastElementChild.remove();
    return entry;
  }

  function parse(message) {
    try {
      return JSON.parse(message.data);
    } catch (e) {
      logEntry('error', `unreadable ${message.type} message`);
      return null;
    }
  }

  // The module publishes each change under two names, the one derived from
  // its URI and the generic one, which reach the stream as two events one
  // after the other: the log shows the publication once, with both names.
  let lastPublication = null;  // {entry, key, names}

  const publicationSummary = (event, names) =>
    `${text(event.eventType)} ${text(event.uri)} (${names.map(text).join(', ')})`;

  function onPluginEvent(event) {
    const key = JSON.stringify([event.uri, event.eventType, event.data]);
    const last = lastPublication;
    if (last && last.key === key && !last.names.includes(event.name) &&
        last.entry === $('events').firstElementChild) {
      last.names.push(event.name);
      last.entry.querySelector('.summary').textContent = publicationSummary(event, last.names);
      return;  // its change was taken with the first name
    }
    const names = [event.name];
    lastPublication = { entry: logEntry('plugin', publicationSummary(event, names), event.data), key, names };
    if (event.uri === SESSION_URI) {
      state.sessionEvents += 1;
      // A deleted session is re-published with the default record.
      setSession(event.eventType === 'Delete' ? null : event.data, event.eventType === 'Delete' ? 'deleted' : '');
    } else if (event.uri === `${API}pickable-champions`) {
      state.listEvents.pickable += 1;
      state.pickable = (event.eventType !== 'Delete' && event.data && event.data.championIds) || [];
      renderActionForm();
    } else if (event.uri === `${API}bannable-champions`) {
      state.listEvents.bannable += 1;
      state.bannable = (event.eventType !== 'Delete' && event.data && event.data.championIds) || [];
      renderActionForm();
    }
  }

  const moduleSummary = (value) => (value.action === 'reloaded'
    ? `module reloaded: version ${text(value.version)}, sha256 ${text(value.sha256)}`
    : `module reload failed, the old module keeps serving: ${text(value.error)}`);

  function connect() {
    if (source) source.close();
    const connection = $('connection');
    connection.textContent = 'connecting…';
    connection.dataset.state = 'connecting';
    source = new EventSource($('log-lines').checked ? '/events?log=1' : '/events');
    source.addEventListener('open', () => {
      connection.textContent = 'live';
      connection.dataset.state = 'live';
    });
    source.addEventListener('error', () => {
      connection.textContent = 'reconnecting…';
      connection.dataset.state = 'reconnecting';
    });
    // Sent first on every connection and on every change of the simulated
    // implementation or scenario: read everything again.
    source.addEventListener('devhost', (message) => {
      const value = parse(message);
      if (!value) return;
      logEntry('devhost', `active implementation: ${text(or(value.activeImplementation, 'none'))}`);
      setImplementation(value.activeImplementation);
      reloadAll();
    });
    source.addEventListener('plugin', (message) => {
      const value = parse(message);
      if (value) onPluginEvent(value);
    });
    source.addEventListener('log', (message) => {
      const value = parse(message);
      if (value) logEntry('log', `${text(value.level).trim()} ${text(value.message)}`);
    });
    // --watch took a new build of the module, or kept the old one serving.
    source.addEventListener('module', (message) => {
      const value = parse(message);
      if (!value) return;
      const failed = value.action !== 'reloaded';
      logEntry(failed ? 'error' : 'devhost', moduleSummary(value), value);
      showMessage(failed ? moduleSummary(value) : '');
      if (!failed) reloadAll();
    });
    // Back after a drop, with events gone that the tool no longer kept.
    source.addEventListener('events-missed', (message) => {
      const value = parse(message);
      logEntry('devhost', `events missed: ${text(value ? value.reason : '')}`);
      reloadAll();
    });
    // The tool ended this stream (the page fell behind); the browser
    // connects again, and the greeting that follows reads everything anew.
    source.addEventListener('stream-closed', (message) => {
      const value = parse(message);
      logEntry('devhost', `stream ended: ${text(value ? value.reason : '')}`);
    });
  }

  // ---- the traffic pane: every crossing of the host boundary ----

  // A row is a group: an API request with the entries it caused, or one
  // entry nothing caused. An API request's entry is added when it is
  // answered, after what it caused, so a group is keyed by the request's seq
  // and may show its caused entries before its own. Rows are newest first
  // (by seq): the newest stays in view, and the browser's scroll anchoring
  // keeps a reader who scrolled down where they were.
  const MAX_TRAFFIC_ROWS = 500;
  const MAX_CAUSED = 200;
  const TRAFFIC_KINDS = ['api', 'host-request', 'event-in', 'event-out', 'subscription', 'log'];

  const traffic = {
    groups: new Map(),   // group seq -> group
    entries: new Map(),  // seq of every entry kept -> its group
    pending: [],         // entries received, not shown yet
    scheduled: false,
    clearedThrough: 0,   // groups up to this seq were cleared
    matches: () => true,
  };

  const trafficTime = (micros) => (Number.isFinite(micros) ? `${(micros / 1e6).toFixed(3)}s` : '');
  const asObject = (value) => (value && typeof value === 'object' ? value : {});

  // An API answer keeps the status the module set, 0 for none; the status
  // shown is the one the tool then answered with.
  function apiStatus(answer) {
    const status = Number(answer.status) || 0;
    if (status !== 0) return status;
    if ('error' in answer) return 400;
    return 'stream' in answer || 'body' in answer || 'bodyText' in answer || 'bodyBase64' in answer ? 200 : 204;
  }

  function trafficSummary(entry) {
    const call = asObject(entry.request);
    const answer = asObject(entry.answer);
    const payload = asObject(entry.payload);
    const error = 'error' in answer ? ` ${text(answer.error)}` : 'stream' in answer ? ' (stream)' : '';
    switch (entry.kind) {
      case 'api': return `${text(call.method)} ${text(call.target)} → ${apiStatus(answer)}${error}`;
      case 'host-request': return `${text(call.method)} ${text(call.url)} → ${text(answer.status)}${error}`;
      case 'event-in':
      case 'event-out': {
        const what = [payload.eventType, payload.uri].filter((p) => p !== undefined).map(text).join(' ');
        return what ? `${text(entry.name)} · ${what}` : text(entry.name);
      }
      case 'subscription': return `${text(entry.action)} ${text(entry.name)}`;
      case 'log': return `${text(entry.level)} ${text(entry.message)}`;
      case 'module': return moduleSummary(entry);
      default: return '';
    }
  }

  // What the route filter is matched against.
  function trafficRoute(entry) {
    if (entry.kind === 'api') return text(entry.path);
    if (entry.kind === 'host-request') return text(asObject(entry.request).url);
    if (entry.kind === 'event-in' || entry.kind === 'event-out') return text(asObject(entry.payload).uri);
    return '';
  }

  const failed = (entry) => 'error' in asObject(entry.answer) || Number(asObject(entry.answer).status) >= 400;

  function entryLine(seq, entry, summary) {
    const cut = entry && entry.cut && typeof entry.cut === 'object' ? Object.keys(entry.cut) : [];
    return [
      el('span', { className: 'traffic-seq muted' }, `#${seq}`),
      el('span', { className: 'traffic-time muted' }, entry ? trafficTime(entry.time) : ''),
      el('span', { className: 'traffic-kind' }, entry ? text(entry.kind) : 'api'),
      el('span', { className: `traffic-summary${entry && failed(entry) ? ' failed' : ''}` }, summary),
      cut.length ? el('span', { className: 'traffic-cut', title: `shortened: ${cut.join(', ')}` }, 'cut') : null,
    ];
  }

  // A <details> whose JSON is written when it is first opened.
  function expandable(className, head, value) {
    const pre = el('pre', {});
    const node = el('details', { className }, el('summary', {}, ...head), pre);
    node.addEventListener('toggle', () => {
      if (node.open && !pre.firstChild) pre.textContent = JSON.stringify(value, null, 2);
    });
    return node;
  }

  const causedRow = (entry) => el('li', { dataset: { seq: text(entry.seq), kind: text(entry.kind) } },
    expandable('', entryLine(entry.seq, entry, trafficSummary(entry)), entry));

  function newGroup(seq) {
    const details = el('details', {}, el('summary', {}));
    const group = { seq, entry: null, caused: [], seqs: [], dropped: 0, details, body: null, causedList: null, raw: null,
      row: el('li', { className: 'traffic-row', dataset: { seq: String(seq) } }, details), route: '' };
    details.addEventListener('toggle', () => fillGroup(group));
    return group;
  }

  // The body of an open row: what the request caused, then its own entry.
  function fillGroup(group) {
    if (!group.details.open) return;
    const plain = group.entry && group.entry.kind !== 'api' && group.caused.length === 0;
    if (!group.body) {
      group.causedList = el('ol', { className: 'traffic-caused' }, ...group.caused.map(causedRow));
      group.body = el('div', { className: 'traffic-body' }, group.causedList);
      group.details.append(group.body);
    }
    if (group.entry && !group.raw) {
      group.raw = plain ? el('pre', {}, JSON.stringify(group.entry, null, 2))
        : expandable('traffic-raw', [el('span', { className: 'muted' }, 'request and answer')], group.entry);
      group.body.append(group.raw);
    }
  }

  function renderGroup(group) {
    const entry = group.entry;
    const summary = entry ? trafficSummary(entry) : 'not answered yet';
    const count = group.caused.length + group.dropped;
    group.details.firstElementChild.replaceChildren(...[...entryLine(group.seq, entry, summary),
      count ? el('span', { className: 'traffic-count muted' }, `${count} caused`) : null].filter(Boolean));
    group.row.dataset.kind = entry ? text(entry.kind) : 'api';
    group.route = [entry, ...group.caused].filter(Boolean).map(trafficRoute).join('\n').toLowerCase();
    group.row.hidden = !traffic.matches(group);
  }

  function addTraffic(entry, touched) {
    const seq = Number(entry.seq);
    if (!Number.isSafeInteger(seq) || seq <= 0 || traffic.entries.has(seq)) return;
    const groupSeq = Number(entry.cause) > 0 ? Number(entry.cause) : seq;
    if (groupSeq <= traffic.clearedThrough) return;
    let group = traffic.groups.get(groupSeq);
    if (!group) {
      const list = $('traffic');
      // Older than every row of a full list: it would go at once.
      if (traffic.groups.size >= MAX_TRAFFIC_ROWS && groupSeq < Number(list.lastElementChild.dataset.seq)) return;
      group = newGroup(groupSeq);
      traffic.groups.set(groupSeq, group);
      let next = list.firstElementChild;
      while (next && Number(next.dataset.seq) > groupSeq) next = next.nextElementSibling;
      list.insertBefore(group.row, next);
    }
    traffic.entries.set(seq, group);
    group.seqs.push(seq);
    if (groupSeq === seq) {
      group.entry = entry;
    } else {
      let at = group.caused.length;
      while (at > 0 && Number(group.caused[at - 1].seq) > seq) at -= 1;
      group.caused.splice(at, 0, entry);
      if (group.causedList) group.causedList.insertBefore(causedRow(entry), group.causedList.children[at] || null);
      if (group.caused.length > MAX_CAUSED) {
        group.caused.shift();
        group.dropped += 1;
        if (group.causedList) group.causedList.firstElementChild.remove();
      }
    }
    touched.add(group);
  }

  function flushTraffic() {
    traffic.scheduled = false;
    const batch = traffic.pending.sort((a, b) => Number(a.seq) - Number(b.seq));
    traffic.pending = [];
    const touched = new Set();
    for (const entry of batch) {
      if (entry && typeof entry === 'object') addTraffic(entry, touched);
    }
    const list = $('traffic');
    while (traffic.groups.size > MAX_TRAFFIC_ROWS) {
      const group = traffic.groups.get(Number(list.lastElementChild.dataset.seq));
      for (const seq of group.seqs) traffic.entries.delete(seq);
      traffic.groups.delete(group.seq);
      touched.delete(group);
      group.row.remove();
    }
    for (const group of touched) {
      renderGroup(group);
      fillGroup(group);
    }
  }

  // Entries arriving together are shown together, once per frame; a hidden
  // page gets no frames, so a long queue is shown at once.
  function queueTraffic(entries) {
    traffic.pending.push(...entries);
    if (traffic.pending.length > MAX_TRAFFIC_ROWS) {
      flushTraffic();
    } else if (!traffic.scheduled) {
      traffic.scheduled = true;
      requestAnimationFrame(flushTraffic);
    }
  }

  function filterTraffic() {
    const kinds = new Set([...document.querySelectorAll('[data-traffic-kind]')]
      .filter((box) => box.checked).map((box) => box.dataset.trafficKind));
    const route = $('traffic-route').value.trim().toLowerCase();
    traffic.matches = (group) => {
      const kind = group.row.dataset.kind;
      return (kinds.has(kind) || !TRAFFIC_KINDS.includes(kind)) && (route === '' || group.route.includes(route));
    };
    for (const group of traffic.groups.values()) group.row.hidden = !traffic.matches(group);
  }

  function clearTraffic() {
    for (const seq of traffic.groups.keys()) traffic.clearedThrough = Math.max(traffic.clearedThrough, seq);
    for (const seq of traffic.entries.keys()) traffic.clearedThrough = Math.max(traffic.clearedThrough, seq);
    traffic.groups.clear();
    traffic.entries.clear();
    $('traffic').replaceChildren();
  }

  // The stream first, then what came before it: entries in both are shown once.
  function connectTraffic() {
    const connection = $('traffic-connection');
    if (!token) {
      connection.textContent = 'needs the token of the start line';
      connection.dataset.state = 'reconnecting';
      return;
    }
    const stream = new EventSource(`/_dev/traffic/stream?token=${encodeURIComponent(token)}`);
    stream.addEventListener('open', () => {
      connection.textContent = 'live';
      connection.dataset.state = 'live';
      control('GET', `traffic?limit=${2 * MAX_TRAFFIC_ROWS}`)
        .then((recent) => queueTraffic(Array.isArray(recent && recent.entries) ? recent.entries : []))
        .catch((error) => logEntry('error', `traffic: ${error.message}`));
    });
    stream.addEventListener('error', () => {
      const closed = stream.readyState === EventSource.CLOSED;
      connection.textContent = closed ? 'refused' : 'reconnecting…';
      connection.dataset.state = 'reconnecting';
    });
    stream.addEventListener('traffic', (message) => {
      const entry = parse(message);
      if (entry) queueTraffic([entry]);
    });
  }

  // ---- wiring ----

  function wire() {
    $('act-form').addEventListener('submit', (e) => {
      e.preventDefault();
      act(true);
    });
    $('act-hover').addEventListener('click', () => act(false));
    $('act-action').addEventListener('change', renderActionForm);
    $('log-lines').addEventListener('change', connect);
    $('log-clear').addEventListener('click', () => $('events').replaceChildren());
    $('traffic-kinds').addEventListener('change', filterTraffic);
    $('traffic-route').addEventListener('input', filterTraffic);
    $('traffic-clear').addEventListener('click', clearTraffic);
    if (token) {
      $('implementation-controls').hidden = false;
      for (const button of document.querySelectorAll('[data-implementation]')) {
        button.addEventListener('click', () =>
          control('POST', 'active', { implementation: button.dataset.implementation || null })
            .catch((error) => showMessage(`Switching failed: ${error.message}`)));
      }
      $('reload-scenario').addEventListener('click', () =>
        control('POST', 'reload', {}).then(loadImplementation, (error) => showMessage(`Reload failed: ${error.message}`)));
      $('clock-toggle').addEventListener('click', () =>
        clockChange({ paused: !(state.clock && state.clock.paused) }));
      $('clock-step').addEventListener('click', () => clockChange({ advanceMs: 1000 }));
      $('clock-speed').addEventListener('change', (e) => clockChange({ speed: Number(e.target.value) }));
    }
    setInterval(loadTimer, TIMER_READ_MS);
    setInterval(loadClock, TIMER_READ_MS);
    if (token) setInterval(loadAnswers, TIMER_READ_MS);
    else $('session').querySelector('.answers').hidden = true;
  }

  wire();
  render();
  loadImplementation();
  loadClock();
  loadAnswers();
  reloadAll();
  connect();
  connectTraffic();
})();
