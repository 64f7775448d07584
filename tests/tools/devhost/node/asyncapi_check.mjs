// Parses the generated AsyncAPI document with the AsyncAPI parser (which
// validates it against the 3.0 schema and its rules), then checks what the
// module's event records and the tool's own events must have put in it.
// Usage: node asyncapi_check.mjs DOCUMENT.json
import { readFileSync } from 'node:fs';
import { Parser } from '@asyncapi/parser';

const failures = [];
const check = (condition, what) => {
  if (!condition) failures.push(what);
};

const text = readFileSync(process.argv[2], 'utf8');
const { document: parsed, diagnostics } = await new Parser().parse(text);
// Severity 0 is an error, 1 a warning: both are faults of the generator.
const faults = diagnostics.filter((d) => d.severity <= 1);
check(parsed !== undefined && faults.length === 0,
      `not a clean AsyncAPI document: ${JSON.stringify(faults, null, 2)}`);
check(parsed?.version() === '3.0.0', `AsyncAPI ${parsed?.version()}, not 3.0.0`);

// How the generator describes each kind of event is its C++ test's
// (DevhostAsyncApi); here, what the module's event records and the tool's own
// events put in: the module publishes each resource event twice, under the
// name derived from its URI and as OnJsonApiEvent, and a derived name
// carries only its own resources.
const document = JSON.parse(text);
const messages = document.components?.messages ?? {};
const schemas = document.components?.schemas ?? {};
const keys = Object.keys(messages);
const session = 'OnJsonApiEvent_tav-champ-select_v1_session';
check(JSON.stringify(keys.filter((k) => !k.startsWith('OnJsonApiEvent_'))) ===
      JSON.stringify(['OnJsonApiEvent', 'devhost', 'log', 'module', 'stream-closed', 'events-missed']),
      `messages: ${keys}`);
check(keys.includes(session) && keys.includes('OnJsonApiEvent_tav-champ-select_v1_team-boost'),
      `derived names: ${keys}`);
const dataOf = (key) => messages[key]?.payload?.properties?.data?.anyOf?.map((s) => s.$ref ?? s.type);
check(dataOf('OnJsonApiEvent')?.includes('#/components/schemas/TavChampSelectTeamBoost') &&
      !dataOf(session)?.includes('#/components/schemas/TavChampSelectTeamBoost') &&
      dataOf(session)?.[0] === '#/components/schemas/TavChampSelectChampSelectSession',
      `a derived name carries only its own resources: ${dataOf(session)}`);
for (const ref of keys.flatMap((k) => dataOf(k) ?? [])) {
  check(!ref.startsWith('#') || ref.replace('#/components/schemas/', '') in schemas,
        `${ref} is a component`);
}
check(JSON.stringify(messages.devhost?.payload?.properties?.activeImplementation?.enum) ===
      '["legacy","team-builder",null]', 'the active implementation may be none');

if (failures.length > 0) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log(`valid AsyncAPI ${parsed.version()} document, ${keys.length} messages, ` +
            `${Object.keys(schemas).length} schemas`);
