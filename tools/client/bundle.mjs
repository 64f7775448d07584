// One bundle of a program written against the generated client, which it
// imports by its package name from the folder `make client` wrote:
//
//   node tools/client/bundle.mjs --entry examples/frontend/src/main.ts \
//        --client build/client --out build/frontend/main.js [--platform node]
import { resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import * as esbuild from 'esbuild';
import { PACKAGE_NAME } from './package_name.mjs';

export async function bundle({ entry, client, outfile, platform = 'browser' }) {
  await esbuild.build({
    entryPoints: [resolve(entry)],
    outfile: resolve(outfile),
    bundle: true,
    format: 'esm',
    platform,
    target: platform === 'node' ? 'node20' : 'es2022',
    alias: { [PACKAGE_NAME]: resolve(client) },
    sourcemap: true,
    logLevel: 'warning',
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const args = Object.fromEntries(process.argv.slice(2).reduce((pairs, value, i, all) =>
    (i % 2 === 0 ? [...pairs, [value.replace(/^--/, ''), all[i + 1]]] : pairs), []));
  if (!args.entry || !args.client || !args.out) {
    console.error('usage: node tools/client/bundle.mjs --entry FILE.ts --client DIR --out FILE.js [--platform node]');
    process.exit(2);
  }
  try {
    await bundle({ entry: args.entry, client: args.client, outfile: args.out, platform: args.platform });
  } catch (error) {
    process.exit(1);
  }
}
