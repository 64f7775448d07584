// The node example (examples/client), bundled with the generated client, run
// against the real tool: it must end with status 0 after reading the session
// and the timer, banning with docs/devhost.md's PATCH and seeing the session's Update
// event; the ban must then be in the session.
//
//   node node_example_test.mjs --tool TAV_DEVHOST --scenario DEMO.yaml \
//        --client DIR --example MAIN.ts --work DIR
import { execFile } from 'node:child_process';
import { join } from 'node:path';
import { bundle } from '../../../tools/client/bundle.mjs';
import { check, checkStopped, failures, parseArgs, report, startTool } from '../devhost/node/devhost_tool.mjs';

const args = parseArgs(process.argv);

const run = (file, origin) => new Promise((resolve) => {
  execFile(process.execPath, [file, origin], { timeout: 30_000 }, (error, stdout, stderr) =>
    resolve({ status: error ? (error.code ?? error.signal) : 0, stdout, stderr }));
});

let started = null;
try {
  const program = join(args.work, 'client-example.mjs');
  await bundle({ entry: args.example, client: args.client, outfile: program, platform: 'node' });
  started = await startTool(args.tool, args.scenario);
  const { status, stdout, stderr } = await run(program, started.url.origin);
  check(status === 0, `the example ended with ${status}:\n${stdout}${stderr}`);
  for (const line of ['stream open, active implementation legacy', 'session: local cell 2, 5 versus 5',
    'timer: BAN_PICK, ', 'event: action 3 by cell 2 is a ban of 99']) {
    check(stdout.includes(line), `the example did not print "${line}":\n${stdout}`);
  }
  const session = await (await fetch(`${started.url.origin}/tav-champ-select/v1/session`)).json();
  const action = session.actions.flat().find((a) => a.id === 3);
  check(action?.championId === 99 && action.completed, `action 3 is now ${JSON.stringify(action)}`);
} catch (error) {
  failures.push(error.stack || String(error));
} finally {
  if (started) await checkStopped(started);
}
report(started, 'the node example read the session and saw its ban as an event');
