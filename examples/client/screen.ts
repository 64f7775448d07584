// What a champ-select screen shows, from the session the plugin answers: the
// phase and its time, whether the local player is to act, the champions, the
// bans and a trade offered. A screen renders this; a test of the screen
// checks it (flow-screen.test.ts).
import type { components } from 'tav-champ-select-client';

type Session = components['schemas']['TavChampSelectChampSelectSession'];

interface Action {
  id: number;
  actorCellId: number;
  championId: number;
  type: string;
  completed: boolean;
}

export interface Screen {
  phase: string;
  secondsLeft: number;
  /** The local player's open action in the current turn, if it is its turn. */
  myAction: Action | null;
  myChampion: number;
  bans: number[];
  /** The display name of the player offering the local player a trade. */
  tradeOfferedBy: string | null;
}

const isAction = (value: unknown): value is Action =>
  typeof value === 'object' && value !== null && 'id' in value && 'actorCellId' in value;

export function screenOf(session: Session): Screen {
  const cells = [...session.myTeam, ...session.theirTeam];
  const me = cells.find((cell) => cell.cellId === session.localPlayerCellId);
  // The current turn is the first with an action still open.
  const turns = session.actions.map((turn) => (Array.isArray(turn) ? turn.filter(isAction) : []));
  const current = session.timer.phase === 'BAN_PICK' ? turns.find((turn) => turn.some((a) => !a.completed)) : undefined;
  const offer = session.trades.find((trade) => trade.state === 'RECEIVED');
  return {
    phase: session.timer.phase,
    secondsLeft: session.timer.adjustedTimeLeftInPhaseInSec,
    myAction: current?.find((a) => a.actorCellId === session.localPlayerCellId && !a.completed) ?? null,
    myChampion: me?.championId ?? 0,
    bans: [...session.bans.myTeamBans, ...session.bans.theirTeamBans],
    tradeOfferedBy: offer ? cells.find((cell) => cell.cellId === offer.cellId)?.displayName ?? '?' : null,
  };
}
