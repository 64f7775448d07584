// The plugin through the generated client (`make client`), under node, against
// a running development host: reads the session and its timer, bans with
// docs/devhost.md's PATCH and waits for the session's Update event that follows.
//
//   node main.mjs http://127.0.0.1:PORT      (main.ts bundled by esbuild)
import { createApiClient, createEventStream } from 'tav-champ-select-client';

// The session describes its actions as a list of turns, each a list of
// untyped values: this is what the example reads of one.
interface Action {
  id: number;
  actorCellId: number;
  championId: number;
  type: string;
  completed: boolean;
}

const baseUrl = process.argv[2] ?? 'http://127.0.0.1:8080';
const api = createApiClient(baseUrl);
const events = createEventStream(baseUrl);

function fail(what: string): never {
  console.error(`example: ${what}`);
  events.close();
  process.exit(1);
}

const isAction = (value: unknown): value is Action =>
  typeof value === 'object' && value !== null && 'id' in value && 'championId' in value;
const actionOf = (actions: unknown[], id: number) => actions.flat().filter(isAction).find((a) => a.id === id);

// The stream's first event (the active implementation) says it is open.
const opened = new Promise<void>((resolve) => {
  const off = events.subscribe('devhost', (state) => {
    console.log(`stream open, active implementation ${state.activeImplementation}`);
    off();
    resolve();
  });
});
const banned = new Promise<Action>((resolve) => {
  // The event of this name also stands for the session's sub-resources (its
  // timer, its trades): the session itself is the one with actions.
  events.subscribe('OnJsonApiEvent_tav-champ-select_v1_session', ({ eventType, data }) => {
    if (eventType !== 'Update' || data === null || !('actions' in data)) return;
    const action = actionOf(data.actions, 3);
    if (action?.completed) resolve(action);
  });
});

const session = await api.GET('/tav-champ-select/v1/session');
if (!session.data) fail(`GET session: ${session.response.status} ${JSON.stringify(session.error)}`);
const { localPlayerCellId, myTeam, theirTeam } = session.data;
console.log(`session: local cell ${localPlayerCellId}, ${myTeam.length} versus ${theirTeam.length}`);

const timer = await api.GET('/tav-champ-select/v1/session/timer');
if (!timer.data) fail(`GET timer: ${timer.response.status}`);
console.log(`timer: ${timer.data.phase}, ${timer.data.timeLeftInPhaseInSec} s left`);

await opened;
const patched = await api.PATCH('/tav-champ-select/v1/session/actions/{id}', {
  params: { path: { id: 3 } },
  body: { championId: 99, completed: true },
});
if (!patched.response.ok) fail(`PATCH action 3: ${patched.response.status} ${JSON.stringify(patched.error)}`);

const action = await banned;
console.log(`event: action ${action.id} by cell ${action.actorCellId} is a ${action.type} of ${action.championId}`);
if (action.championId !== 99) fail(`the event has champion ${action.championId}, not 99`);
events.close();
