// The development host's documents through maintained validators: the
// generated OpenAPI and AsyncAPI documents, with what the real module's table
// must have put in them; the golden traces and the shipped scenarios against
// their schemas of docs/, which must also refuse planted faults and take the
// legitimate shapes the files do not happen to hold.
//   node document_check.mjs openapi DOCUMENT.json
//   node document_check.mjs asyncapi DOCUMENT.json
//   node document_check.mjs trace SCHEMA.json TRACE.jsonl...
//   node document_check.mjs scenario SCHEMA.json TAV_VALUE SCENARIO.yaml...
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { Parser } from '@asyncapi/parser';
import { Validator } from '@seriousme/openapi-schema-validator';
import Ajv2020 from 'ajv/dist/2020.js';
import { check, report } from './devhost_tool.mjs';

const readJson = (path) => JSON.parse(readFileSync(path, 'utf8'));

// A JSON Schema, strict about keywords (a misspelt one would check nothing),
// not about the type that JSON Schema lets subschemas leave implicit.
function schemaAt(path) {
  const validate = new Ajv2020({ allErrors: true, strictTypes: false }).compile(readJson(path));
  const why = () => (validate.errors ?? []).map((e) => `${e.instancePath || '/'} ${e.message}`).join('; ');
  const plant = (refused, accepted) => {
    for (const [name, value] of refused) check(!validate(value), `planted: ${name} passed`);
    for (const [name, value] of accepted) check(validate(value), `planted: ${name} was refused: ${why()}`);
    return `${refused.length} bad ones refused, ${accepted.length} good ones taken`;
  };
  return { validate, why, plant };
}

async function openapi(path) {
  const document = readJson(path);
  const validator = new Validator();
  const result = await validator.validate(document);
  check(validator.version === '3.1', `validated as OpenAPI ${validator.version}, not 3.1`);
  check(result.valid, `not a valid OpenAPI document: ${JSON.stringify(result.errors, null, 2)}`);
  const operations = Object.entries(document.paths ?? {}).flatMap(([path, item]) =>
    Object.entries(item).map(([method, operation]) => ({ path, method, operation })));
  const ids = operations.map((o) => o.operation.operationId);
  check(operations.length === 19, `19 operations, found ${operations.length}`);
  check(new Set(ids).size === ids.length, 'operation ids are unique');
  // How the generator writes each kind of table entry is its C++ test's
  // (DevhostOpenApi); here, what the real module's table puts in: the action
  // is the body form, the action id unsigned, the session's members required.
  const schemas = document.components?.schemas ?? {};
  const action = document.paths?.['/tav-champ-select/v1/session/actions/{id}']?.patch;
  check(action?.parameters?.find((p) => p.name === 'id')?.schema?.format === 'uint64', 'action id is uint64');
  check(action?.requestBody?.content?.['application/json']?.schema?.$ref ===
        '#/components/schemas/TavChampSelectChampSelectActionBody', 'action body is the action record\'s body form');
  const session = schemas.TavChampSelectChampSelectSession;
  check(session?.required?.length === 13 && session.required[0] === 'timer', `session required: ${session?.required}`);
  check(schemas.TavChampSelectChampSelectActionBody?.required === undefined, 'the action body requires nothing');
  check(!('BindingFullApiHelp' in schemas), 'only the types the paths reach are components');
  return `valid OpenAPI ${validator.version} document, ${operations.length} operations, ` +
         `${Object.keys(schemas).length} schemas`;
}

async function asyncapi(path) {
  const text = readFileSync(path, 'utf8');
  const { document: parsed, diagnostics } = await new Parser().parse(text);
  // Severity 0 is an error, 1 a warning: both are faults of the generator.
  const faults = diagnostics.filter((d) => d.severity <= 1);
  check(parsed !== undefined && faults.length === 0,
        `not a clean AsyncAPI document: ${JSON.stringify(faults, null, 2)}`);
  check(parsed?.version() === '3.0.0', `AsyncAPI ${parsed?.version()}, not 3.0.0`);
  // How the generator describes each kind of event is its C++ test's
  // (DevhostAsyncApi); here, what the module's event records and the tool's
  // own events put in: the module publishes each resource event twice,
  // under the name derived from its URI and as OnJsonApiEvent, and a derived
  // name carries only its own resources.
  const { messages = {}, schemas = {} } = JSON.parse(text).components ?? {};
  const keys = Object.keys(messages);
  const session = 'OnJsonApiEvent_tav-champ-select_v1_session';
  check(JSON.stringify(keys.filter((k) => !k.startsWith('OnJsonApiEvent_'))) ===
        JSON.stringify(['OnJsonApiEvent', 'devhost', 'log', 'module', 'stream-closed', 'events-missed']),
        `messages: ${keys}`);
  check(keys.includes(session) && keys.includes('OnJsonApiEvent_tav-champ-select_v1_team-boost'),
        `derived names: ${keys}`);
  const dataOf = (key) => messages[key]?.payload?.properties?.data?.anyOf?.map((s) => s.$ref ?? s.type);
  const boost = '#/components/schemas/TavChampSelectTeamBoost';
  check(dataOf('OnJsonApiEvent')?.includes(boost) && !dataOf(session)?.includes(boost) &&
        dataOf(session)?.[0] === '#/components/schemas/TavChampSelectChampSelectSession',
        `a derived name carries only its own resources: ${dataOf(session)}`);
  check(JSON.stringify(messages.devhost?.payload?.properties?.activeImplementation?.enum) ===
        '["legacy","team-builder",null]', 'the active implementation may be none');
  return `valid AsyncAPI ${parsed?.version()} document, ${keys.length} messages, ` +
         `${Object.keys(schemas).length} schemas`;
}

// Every line of each trace, the header first.
function trace(schemaPath, ...traces) {
  const { validate, why, plant } = schemaAt(schemaPath);
  let checked = 0;
  for (const path of traces) {
    const lines = readFileSync(path, 'utf8').split('\n');
    check(lines.pop() === '', `${path}: the last line has no line end`);
    lines.forEach((text, i) => {
      const where = `${path}:${i + 1}`;
      let line;
      try {
        line = JSON.parse(text);
      } catch (error) {
        check(false, `${where}: not JSON: ${error.message}`);
        return;
      }
      check((i === 0) === Object.hasOwn(line ?? {}, 'trace'),
        `${where}: ${i === 0 ? 'the first line is not the header' : 'a second header'}`);
      check(validate(line), `${where}: ${why()}`);
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
  const planted = plant([
    ['an unknown kind', { ...log, kind: 'rpc' }],
    ['an entry without "seq"', without(log, 'seq')],
    ['an api entry without "answer"', without(api, 'answer')],
    ['a header whose "trace" is text', { ...header, trace: '1' }],
    ['a member no entry has', { ...log, levl: 'WARN' }],
    ['a body kept as text and as base64', withRequest({ bodyText: 'x', bodyBase64: 'eA==' })],
    ['an answer with an error and a body', withAnswer({ status: 409, error: 'no', body: {} })],
  ], [
    ['a JSON body whose text differs from its value',
      withRequest({ contentType: 'application/json', body: { a: 1 }, bodyText: '{ "a": 1 }' })],
    ['a MessagePack body',
      withRequest({ contentType: 'application/x-msgpack', body: { a: 1 }, bodyBase64: 'gaFhAQ==' })],
    ['a streamed answer with headers',
      withAnswer({ status: 0, contentType: 'text/plain', headers: [['X-Count', '1']], stream: 'a\nb' })],
    ['a live entry whose headers were cut',
      { ...withRequest({ headers: '[["X-Big","aaaa' }), cut: { 'request.headers': 5000 } }],
    ['an event-out whose payload is a list',
      { seq: 5, time: 101, thread: 1, kind: 'event-out', name: 'OnX', payload: [1, null] }],
  ]);
  return `${checked} lines of ${traces.length} traces follow the schema; ${planted}`;
}

// Each scenario read from YAML by tav-value as the tool reads it; the
// planted mistakes are ones the tool refuses.
function scenario(schemaPath, tool, ...scenarios) {
  const { validate, why, plant } = schemaAt(schemaPath);
  for (const path of scenarios) {
    const json = execFileSync(tool, ['--content-type', 'application/x-yaml', path], { encoding: 'utf8' });
    check(validate(JSON.parse(json)), `${path}: ${why()}`);
  }
  const withAnswer = (answer) => ({ implementations: { legacy: { answers: [answer] } } });
  const answer = { method: 'POST', url: 'v1/battle-training/launch' };
  const planted = plant([
    ['an unknown top-level key', { active: 'legacy', actve: 'legacy' }],
    ['an unknown implementation', { implementations: { lobby: {} } }],
    ['an unknown resource', { implementations: { legacy: { resources: { 'v1/sesion': {} } } } }],
    ['trades as a mapping', { implementations: { legacy: { resources: { 'v1/session/trades': {} } } } }],
    ['a status given as text', withAnswer({ ...answer, status: '409' })],
    ['a value and a status', withAnswer({ ...answer, value: {}, status: 409 })],
    ['an absolute url', withAnswer({ ...answer, url: '/tav-champ-select-legacy/v1/session' })],
    ['times 0', withAnswer({ ...answer, times: 0 })],
    ['a hang with a status', withAnswer({ ...answer, hang: true, status: 504 })],
  ], [
    ['no active implementation', { active: null, implementations: { legacy: null } }],
    ['an error answer', withAnswer({ ...answer, status: 503, message: 'down' })],
    ['twice, late', withAnswer({ ...answer, value: {}, times: 2, delayMs: 1500 })],
  ]);
  return `${scenarios.length} scenarios follow the schema; ${planted}`;
}

const CHECKS = { openapi, asyncapi, trace, scenario };
const [kind, ...files] = process.argv.slice(2);
if (!Object.hasOwn(CHECKS, kind) || files.length < CHECKS[kind].length) {
  console.error(`usage: node document_check.mjs ${Object.keys(CHECKS).join('|')} FILE...`);
  process.exit(2);
}
report(null, await CHECKS[kind](...files));
