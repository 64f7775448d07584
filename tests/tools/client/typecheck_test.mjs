// tsc --strict over the generated client package and the two examples written
// against it, for node (@types/node, no DOM) and for the browser (DOM); and
// copies of the node example with one planted mistake each, every one of
// which tsc must refuse on the line it was planted.
//
//   node typecheck_test.mjs --client DIR --examples EXAMPLES_DIR --work DIR
import { mkdir, readFile, writeFile } from 'node:fs/promises';
import { basename, join, resolve } from 'node:path';
import { runTsc } from '../../../tools/client/tsc.mjs';
import { check, parseArgs, runTest } from '../devhost/node/devhost_tool.mjs';

const args = Object.fromEntries(Object.entries(parseArgs(process.argv)).map(([k, v]) => [k, resolve(v)]));
const packageSources = ['index.ts', 'events.ts', 'event-stream.ts', 'sse-reader.ts', 'dev-control.ts']
  .map((name) => join(args.client, name));

// tsc's output over the files, with a tsconfig that extends an example's
// own and finds the package at --client; '' when it refuses nothing.
async function tsc(name, example, files) {
  const path = join(args.work, `tsconfig.${name}.json`);
  await writeFile(path, JSON.stringify({
    extends: join(args.examples, example, 'tsconfig.json'),
    compilerOptions: { paths: { 'tav-champ-select-client': [args.client] } },
    files,
    include: [],
  }, null, 2));
  return runTsc(['-p', path]).then(() => '', (error) => error.output);
}

// [what, replaced, by]: each plant must still find its text in the example.
const PLANTS = [
  ['a body member of the wrong type', 'championId: 99, completed', 'championId: \'99\', completed'],
  ['an event the module does not publish', '\'OnJsonApiEvent_tav-champ-select_v1_session\'',
    '\'OnJsonApiEvent_tav-champ-select_v1_sessions\''],
  ['a member the devhost event lacks', 'state.activeImplementation', 'state.activeImplementations'],
  ['a route that does not exist', '\'/tav-champ-select/v1/session/timer\'', '\'/tav-champ-select/v1/session/timers\''],
];

await runTest(args, 'the client and its examples type-check; every planted mistake is refused', async () => {
  await mkdir(args.work, { recursive: true });
  const source = await readFile(join(args.examples, 'client', 'main.ts'), 'utf8');
  const plants = await Promise.all(PLANTS.map(async ([what, replaced, by], i) => {
    check(source.includes(replaced), `the example no longer has ${replaced} to plant ${what} in`);
    const text = source.replace(replaced, by);
    const file = join(args.work, `planted-${i}.ts`);
    await writeFile(file, text);
    return { what, file, line: text.slice(0, text.indexOf(by)).split('\n').length };
  }));
  const [node, browser, refused] = await Promise.all([
    tsc('node', 'client', [...packageSources,
      ...['main.ts', 'screen.ts', 'flow-screen.test.ts'].map((name) => join(args.examples, 'client', name))]),
    tsc('browser', 'frontend', [...packageSources, join(args.examples, 'frontend', 'src', 'main.ts')]),
    tsc('planted', 'client', plants.map((p) => p.file)),
  ]);
  check(node === '', `the package and the node example:\n${node}`);
  check(browser === '', `the package and the page:\n${browser}`);
  // tsc names the files relative to the working folder.
  for (const { what, file, line } of plants) {
    check(refused.includes(`${basename(file)}(${line},`),
      `tsc did not refuse ${what} on line ${line} of ${file}:\n${refused.slice(0, 4000)}`);
  }
});
