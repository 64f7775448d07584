// The node example (examples/client), bundled with the generated client, run
// against the real tool: it must end with status 0 after reading the session
// and the timer, banning with docs/devhost.md's PATCH and seeing the session's Update
// event with the ban in it.
//
//   node node_example_test.mjs --tool TAV_DEVHOST --scenario DEMO.yaml \
//        --client DIR --example MAIN.ts --work DIR
import { execFile } from 'node:child_process';
import { join } from 'node:path';
import { bundle } from '../../../tools/client/bundle.mjs';
import { check, parseArgs, runTest } from '../devhost/node/devhost_tool.mjs';

const args = parseArgs(process.argv);

const run = (file, origin) => new Promise((resolve) => {
  execFile(process.execPath, [file, origin], { timeout: 30_000 }, (error, stdout, stderr) =>
    resolve({ status: error ? (error.code ?? error.signal) : 0, stdout, stderr }));
});

await runTest(args, 'the node example read the session and saw its ban as an event', async (t) => {
  const program = join(args.work, 'client-example.mjs');
  await bundle({ entry: args.example, client: args.client, outfile: program, platform: 'node' });
  const { url } = await t.start();
  const { status, stdout, stderr } = await run(program, url.origin);
  check(status === 0, `the example ended with ${status}:\n${stdout}${stderr}`);
  for (const line of ['stream open, active implementation legacy', 'session: local cell 2, 5 versus 5',
    'timer: BAN_PICK, ', 'event: action 3 by cell 2 is a ban of 99']) {
    check(stdout.includes(line), `the example did not print "${line}":\n${stdout}`);
  }
});
