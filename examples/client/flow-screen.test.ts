// A test of a champ-select screen, written as a front-end developer would:
// the development host plays tools/devhost/scenarios/flow.yaml on a paused
// clock, the test steps the clock through the typed client and checks what
// the screen shows (screen.ts) after each step.
//
//   node flow-screen.test.mjs TAV_DEVHOST FLOW.yaml   (bundled by esbuild)
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { mkdtemp, readFile, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';
import { createApiClient, createDevControl } from 'tav-champ-select-client';
import { screenOf } from './screen.js';

const [tool, scenario] = process.argv.slice(2);
const token = 'screen-test-token-0123456789abcdef';
let folder = '';
let devhost: ReturnType<typeof spawn> | undefined;
let api: ReturnType<typeof createApiClient>;
let dev: ReturnType<typeof createDevControl>;

before(async () => {
  folder = await mkdtemp(join(tmpdir(), 'flow-screen-'));
  const ready = join(folder, 'ready');
  devhost = spawn(tool, ['--scenario', scenario, '--paused', '--port', '0', '--token', token, '--ready-file', ready],
    { stdio: 'inherit' });
  // The tool writes its URL to the ready file once it serves.
  let url = '';
  for (let tries = 0; !url && tries < 600; ++tries) {
    url = await readFile(ready, 'utf8').catch(() => '');
    if (!url) await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.ok(url, 'the tool never wrote its ready file');
  const origin = new URL(url.trim()).origin;
  api = createApiClient(origin);
  dev = createDevControl(origin, token);
});

after(async () => {
  devhost?.kill('SIGTERM');
  await rm(folder, { recursive: true, force: true });
});

async function screen() {
  const session = await api.GET('/tav-champ-select/v1/session');
  return session.data ? screenOf(session.data) : null;
}

// Steps a second at a time until the screen shows phase (or the session is gone).
async function stepUntil(phase: string | null, limitSeconds = 200) {
  for (let second = 0; second < limitSeconds; ++second) {
    const shown = await screen();
    if ((shown?.phase ?? null) === phase) return shown;
    await dev.advance(1000);
  }
  assert.fail(`the screen never showed ${phase}`);
}

test('the screen follows a whole champ select', async () => {
  let shown = await screen();
  assert.equal(shown?.phase, 'PLANNING');
  assert.equal(shown?.myAction, null);

  await dev.advance(6000);
  shown = await screen();
  assert.equal(shown?.phase, 'BAN_PICK');
  assert.equal(shown?.myAction?.type, 'ban', 'the local player bans in the first turn');

  const ban = await api.PATCH('/tav-champ-select/v1/session/actions/{id}', {
    params: { path: { id: shown!.myAction!.id } },
    body: { championId: 86, completed: true },
  });
  assert.equal(ban.response.status, 204);
  shown = await screen();
  assert.equal(shown?.myAction, null);
  assert.ok(shown?.bans.includes(86));

  // The others ban; the picks go round; the local player, idle, locks its intent.
  shown = await stepUntil('FINALIZATION');
  assert.notEqual(shown?.myChampion, 0);
  const before = shown!.myChampion;

  await dev.advance(5000);
  shown = await screen();
  assert.equal(shown?.tradeOfferedBy, 'Ally 2');
  const accepted = await api.POST('/tav-champ-select/v1/session/trades/{id}/accept', { params: { path: { id: 2 } } });
  assert.equal(accepted.response.status, 204);
  shown = await screen();
  assert.equal(shown?.tradeOfferedBy, null);
  assert.notEqual(shown?.myChampion, before, 'the trade swapped the champions');

  await stepUntil('GAME_STARTING');
  await stepUntil(null);
  assert.equal((await dev.flow())?.phase, 'ENDED');
});
