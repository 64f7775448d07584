// tsc of this package, run as a child; resolves with its output, rejects with
// it when tsc reports errors.
import { execFile } from 'node:child_process';
import { createRequire } from 'node:module';

const tscPath = createRequire(import.meta.url).resolve('typescript/bin/tsc');

export function runTsc(args) {
  return new Promise((resolve, reject) => {
    execFile(process.execPath, [tscPath, ...args], { maxBuffer: 16 << 20 }, (error, stdout, stderr) => {
      const output = `${stdout}${stderr}`;
      if (error) reject(Object.assign(new Error(`tsc ${args.join(' ')}:\n${output}`), { output }));
      else resolve(output);
    });
  });
}
