// The session page of the development host. It reads the champ-select
// session through the plugin's own routes, follows /events to stay current
// without a reload, and picks and bans through the plugin's action route.
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
    try {
      setSession(await request('GET', `${API}session`), '');
    } catch (error) {
      setSession(null, error.message);
    }
  }

  async function loadChampions() {
    const [pickable, bannable] = await Promise.all(
      ['pickable-champions', 'bannable-champions'].map((path) =>
        request('GET', API + path).then((v) => (v && v.championIds) || [], () => [])));
    state.pickable = pickable;
    state.bannable = bannable;
    renderActionForm();
  }

  async function loadImplementation() {
    if (!token) return;
    try {
      const devState = await control('GET', 'state');
      setImplementation(devState ? devState.activeImplementation : null);
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
      // A deleted session is re-published with the default record.
      setSession(event.eventType === 'Delete' ? null : event.data, event.eventType === 'Delete' ? 'deleted' : '');
    } else if (event.uri === `${API}pickable-champions`) {
      state.pickable = (event.eventType !== 'Delete' && event.data && event.data.championIds) || [];
      renderActionForm();
    } else if (event.uri === `${API}bannable-champions`) {
      state.bannable = (event.eventType !== 'Delete' && event.data && event.data.championIds) || [];
      renderActionForm();
    }
  }

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
    // The tool ended this stream (the page fell behind); the browser
    // connects again, and the greeting that follows reads everything anew.
    source.addEventListener('stream-closed', (message) => {
      const value = parse(message);
      logEntry('devhost', `stream ended: ${text(value ? value.reason : '')}`);
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
    if (token) {
      $('implementation-controls').hidden = false;
      for (const button of document.querySelectorAll('[data-implementation]')) {
        button.addEventListener('click', () =>
          control('POST', 'active', { implementation: button.dataset.implementation || null })
            .catch((error) => showMessage(`Switching failed: ${error.message}`)));
      }
      $('reload-scenario').addEventListener('click', () =>
        control('POST', 'reload', {}).catch((error) => showMessage(`Reload failed: ${error.message}`)));
    }
    setInterval(loadTimer, TIMER_READ_MS);
  }

  wire();
  render();
  loadImplementation();
  reloadAll();
  connect();
})();
