// The session page of a front end, written against the generated client: it
// reads the session once, then follows it from the event stream.
//
// The tool's origin comes from ?api=ORIGIN (start it with --allow-origin set
// to this page's origin), else this page's own origin (a proxying dev server).
import { createApiClient, createEventStream, type components } from 'tav-champ-select-client';

type Session = components['schemas']['TavChampSelectChampSelectSession'];
type Player = components['schemas']['TavChampSelectChampSelectPlayerSelection'];
// The session describes its actions as a list of turns, each a list of
// untyped values: this is what the page shows of one.
interface Action {
  id: number;
  actorCellId: number;
  championId: number;
  type: string;
  completed: boolean;
}

const apiOrigin = new URLSearchParams(location.search).get('api') ?? location.origin;
const api = createApiClient(apiOrigin);
const events = createEventStream(apiOrigin, { open: (url) => new EventSource(url) });

const byId = (id: string) => document.getElementById(id)!;
const status = (text: string) => {
  byId('status').textContent = text;
};

function item(text: string, attributes: Record<string, string> = {}) {
  const li = document.createElement('li');
  li.textContent = text;
  for (const [name, value] of Object.entries(attributes)) li.setAttribute(name, value);
  return li;
}

const playerLine = (p: Player) =>
  `${p.displayName || `cell ${p.cellId}`}${p.assignedPosition ? ` (${p.assignedPosition})` : ''}: ` +
  (p.championId ? `champion ${p.championId}` : 'no champion');

const isAction = (value: unknown): value is Action =>
  typeof value === 'object' && value !== null && 'id' in value && 'championId' in value;

function render(session: Session) {
  byId('my-team').replaceChildren(...session.myTeam.map((p) => item(playerLine(p), { 'data-cell': String(p.cellId) })));
  byId('their-team').replaceChildren(...session.theirTeam.map((p) => item(playerLine(p), { 'data-cell': String(p.cellId) })));
  const actions = session.actions.flat().filter(isAction);
  byId('actions').replaceChildren(...actions.map((a) => {
    const li = item(`${a.type} by cell ${a.actorCellId}: ${a.championId ? `champion ${a.championId}` : '…'}`,
      { 'data-action-id': String(a.id) });
    li.classList.toggle('done', a.completed);
    return li;
  }));
}

let updates = 0;
// The event of this name also stands for the session's sub-resources (its
// timer, its trades): the session itself is the one with actions.
events.subscribe('OnJsonApiEvent_tav-champ-select_v1_session', ({ uri, eventType, data }) => {
  if (uri !== '/tav-champ-select/v1/session') return;
  if (data !== null && 'actions' in data) {
    render(data);
    updates += 1;
    document.body.dataset.updates = String(updates);
    status(`Session ${eventType.toLowerCase()}d from the event stream (${updates}).`);
  } else if (eventType === 'Delete') {
    status('The session ended.');
  }
});
events.subscribe('devhost', ({ activeImplementation }) => {
  document.body.dataset.implementation = activeImplementation ?? '';
});

const { data, error, response } = await api.GET('/tav-champ-select/v1/session');
if (data) {
  render(data);
  status(`Session of cell ${data.localPlayerCellId}.`);
} else {
  status(`No session: ${response.status} ${error?.message ?? ''}`);
}
