// The development host's control routes a test of a screen drives its champ
// select with: the tool clock and the flow (docs/devhost.md, "The clock and
// the flow"). They need the run's token (--token, or the start line's).

export interface DevClock {
  nowMs: number;
  paused: boolean;
  speed: number;
}

export type DevPhase = 'PLANNING' | 'BAN_PICK' | 'FINALIZATION' | 'GAME_STARTING' | 'ENDED';

export interface DevFlow {
  phase: DevPhase;
  /** The index of the current turn in the session's actions; null outside the turns. */
  turn: number | null;
  turns?: number;
  /** The cells still to act in the current turn. */
  actors: number[];
  phaseEndsAtMs: number;
  next: { atMs: number; does: 'set' | 'fail' | 'activate' | 'dodge'; path?: string }[];
}

/** One change at a time: pause or play, a speed from 0.25 to 16, or a step (paused). */
export type DevClockChange = { paused: boolean } | { speed: number } | { advanceMs: number };

export interface DevControl {
  clock(): Promise<DevClock>;
  setClock(change: DevClockChange): Promise<DevClock>;
  /** Runs everything due within ms, in order, and answers once the module has it all. */
  advance(ms: number): Promise<DevClock>;
  /** The flow's state; null when the scenario has none. */
  flow(): Promise<DevFlow | null>;
  /** Ends the flow's session at once. */
  dodge(): Promise<void>;
}

export function createDevControl(baseUrl: string, token: string): DevControl {
  async function call<T>(method: 'GET' | 'POST', path: string, body?: unknown): Promise<T | null> {
    const response = await fetch(new URL(`/_dev/${path}`, baseUrl), {
      method,
      headers: { 'X-Tav-Dev-Token': token, ...(body === undefined ? {} : { 'Content-Type': 'application/json' }) },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    if (response.status === 404 && path === 'flow') return null;
    if (!response.ok) {
      const answer = (await response.json().catch(() => ({}))) as { message?: string };
      throw new Error(`${method} /_dev/${path}: ${response.status} ${answer.message ?? ''}`.trim());
    }
    return response.status === 204 ? null : ((await response.json()) as T);
  }
  return {
    clock: async () => (await call<DevClock>('GET', 'clock'))!,
    setClock: async (change) => (await call<DevClock>('POST', 'clock', change))!,
    advance: async (ms) => (await call<DevClock>('POST', 'clock', { advanceMs: ms }))!,
    flow: () => call<DevFlow>('GET', 'flow'),
    dodge: async () => { await call('POST', 'flow/dodge'); },
  };
}
