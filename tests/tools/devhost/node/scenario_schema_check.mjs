// The shipped scenarios follow the scenario schema (docs/scenario.schema.json),
// read from YAML by tav-value as the tool reads them; planted mistakes that
// the tool refuses are refused by the schema too, so a schema that took
// anything would fail here.
// Usage: node scenario_schema_check.mjs --schema SCHEMA.json --tav-value TOOL SCENARIO.yaml...
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import Ajv2020 from 'ajv/dist/2020.js';

const [schemaFlag, schemaPath, toolFlag, tool, ...scenarios] = process.argv.slice(2);
if (schemaFlag !== '--schema' || toolFlag !== '--tav-value' || scenarios.length === 0) {
  console.error('usage: node scenario_schema_check.mjs --schema SCHEMA.json --tav-value TOOL SCENARIO.yaml...');
  process.exit(2);
}
const ajv = new Ajv2020({ allErrors: true, strictTypes: false });
const validate = ajv.compile(JSON.parse(readFileSync(schemaPath, 'utf8')));
const why = () => validate.errors.map((e) => `${e.instancePath || '/'} ${e.message}`).join('; ');
const failures = [];

for (const path of scenarios) {
  const json = execFileSync(tool, ['--content-type', 'application/x-yaml', path], { encoding: 'utf8' });
  if (!validate(JSON.parse(json))) failures.push(`${path}: ${why()}`);
}

const withAnswer = (answer) => ({ implementations: { legacy: { answers: [answer] } } });
const answer = { method: 'POST', url: 'v1/battle-training/launch' };
const refused = [
  ['an unknown top-level key', { active: 'legacy', actve: 'legacy' }],
  ['an unknown implementation', { implementations: { lobby: {} } }],
  ['an unknown resource', { implementations: { legacy: { resources: { 'v1/sesion': {} } } } }],
  ['trades as a mapping', { implementations: { legacy: { resources: { 'v1/session/trades': {} } } } }],
  ['a status given as text', withAnswer({ ...answer, status: '409' })],
  ['a value and a status', withAnswer({ ...answer, value: {}, status: 409 })],
  ['an absolute url', withAnswer({ ...answer, url: '/tav-champ-select-legacy/v1/session' })],
  ['times 0', withAnswer({ ...answer, times: 0 })],
  ['a hang with a status', withAnswer({ ...answer, hang: true, status: 504 })],
];
const accepted = [
  ['no active implementation', { active: null, implementations: { legacy: null } }],
  ['an error answer', withAnswer({ ...answer, status: 503, message: 'down' })],
  ['twice, late', withAnswer({ ...answer, value: {}, times: 2, delayMs: 1500 })],
];
for (const [name, scenario] of refused) {
  if (validate(scenario)) failures.push(`planted: ${name} passed`);
}
for (const [name, scenario] of accepted) {
  if (!validate(scenario)) failures.push(`planted: ${name} was refused: ${why()}`);
}

if (failures.length > 0) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log(`${scenarios.length} scenarios follow the schema; ` +
            `${refused.length} bad ones refused, ${accepted.length} good ones taken`);
