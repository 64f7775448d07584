// Checks every line of the given traces against the trace schema
// (docs/devhost-trace.schema.json), the header first, then planted lines:
// the schema refuses the faults and takes the legitimate shapes the golden
// traces do not happen to hold.
// Usage: node trace_schema_check.mjs --schema SCHEMA.json TRACE.jsonl...
import { readFileSync } from 'node:fs';
import Ajv2020 from 'ajv/dist/2020.js';

const [flag, schemaPath, ...traces] = process.argv.slice(2);
if (flag !== '--schema' || !schemaPath) {
  console.error('usage: node trace_schema_check.mjs --schema SCHEMA.json TRACE.jsonl...');
  process.exit(2);
}
// Strict about keywords (a misspelt one would check nothing), not about the
// type that JSON Schema lets subschemas leave implicit.
const ajv = new Ajv2020({ allErrors: true, strictTypes: false });
const validate = ajv.compile(JSON.parse(readFileSync(schemaPath, 'utf8')));
const failures = [];
const why = () => validate.errors.map((e) => `${e.instancePath || '/'} ${e.message}`).join('; ');

let checked = 0;
for (const path of traces) {
  const lines = readFileSync(path, 'utf8').split('\n');
  if (lines.pop() !== '') failures.push(`${path}: the last line has no line end`);
  lines.forEach((text, i) => {
    const where = `${path}:${i + 1}`;
    let line;
    try {
      line = JSON.parse(text);
    } catch (error) {
      failures.push(`${where}: not JSON: ${error.message}`);
      return;
    }
    if ((i === 0) !== Object.hasOwn(line ?? {}, 'trace')) {
      failures.push(`${where}: ${i === 0 ? 'the first line is not the header' : 'a second header'}`);
    }
    if (!validate(line)) failures.push(`${where}: ${why()}`);
    ++checked;
  });
}

const without = (object, key) => Object.fromEntries(Object.entries(object).filter(([k]) => k !== key));
const header = {
  trace: 1, scenario: 'demo.yaml', tool: '18.0.0',
  module: { file: 'm.so', size: 10, sha256: 'ab'.repeat(32), version: '18.0.0' },
};
const log = { seq: 9, time: 120, thread: 2, kind: 'log', cause: 4, level: 'WARN', message: 'late' };
const api = {
  seq: 4, time: 100, thread: 2, kind: 'api', path: '/v1/x',
  request: { method: 'PATCH', target: '/v1/x?a=1' },
  answer: { status: 200, body: { ok: true } },
};
const withRequest = (members) => ({ ...api, request: { ...api.request, ...members } });
const withAnswer = (answer) => ({ ...api, answer });

const refused = [
  ['an unknown kind', { ...log, kind: 'rpc' }],
  ['an entry without "seq"', without(log, 'seq')],
  ['an api entry without "answer"', without(api, 'answer')],
  ['a header whose "trace" is text', { ...header, trace: '1' }],
  ['a member no entry has', { ...log, levl: 'WARN' }],
  ['a body kept as text and as base64', withRequest({ bodyText: 'x', bodyBase64: 'eA==' })],
  ['an answer with an error and a body', withAnswer({ status: 409, error: 'no', body: {} })],
];
const accepted = [
  ['a JSON body whose text differs from its value',
    withRequest({ contentType: 'application/json', body: { a: 1 }, bodyText: '{ "a": 1 }' })],
  ['a MessagePack body', withRequest({ contentType: 'application/x-msgpack', body: { a: 1 }, bodyBase64: 'gaFhAQ==' })],
  ['a streamed answer with headers',
    withAnswer({ status: 0, contentType: 'text/plain', headers: [['X-Count', '1']], stream: 'a\nb' })],
  ['a live entry whose headers were cut',
    { ...withRequest({ headers: '[["X-Big","aaaa' }), cut: { 'request.headers': 5000 } }],
  ['an event-out whose payload is a list',
    { seq: 5, time: 101, thread: 1, kind: 'event-out', name: 'OnX', payload: [1, null] }],
];
for (const [name, line] of refused) {
  if (validate(line)) failures.push(`planted: ${name} passed`);
}
for (const [name, line] of accepted) {
  if (!validate(line)) failures.push(`planted: ${name} was refused: ${why()}`);
}

if (failures.length > 0) {
  console.error(failures.slice(0, 40).join('\n'));
  process.exit(1);
}
console.log(`${checked} lines of ${traces.length} traces follow the schema; ` +
            `${refused.length} bad lines refused, ${accepted.length} good ones taken`);
