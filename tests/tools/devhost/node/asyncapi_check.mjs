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

const document = JSON.parse(text);
const messages = document.components?.messages ?? {};
const schemas = document.components?.schemas ?? {};
check(document.channels?.events?.address === '/events', 'the channel is /events');
const operation = document.operations?.receiveEvents;
check(operation?.action === 'receive' && operation?.channel?.$ref === '#/channels/events',
      'receiveEvents receives from #/channels/events');
const keys = Object.keys(messages);
check(JSON.stringify(Object.keys(document.channels?.events?.messages ?? {})) === JSON.stringify(keys),
      'the channel lists every message');
check(JSON.stringify(operation?.messages?.map((m) => m.$ref)) ===
      JSON.stringify(keys.map((k) => `#/channels/events/messages/${k}`)),
      'the operation lists every message of the channel');

// The module publishes each resource event twice: under the name the
// framework derives from the URI, then as OnJsonApiEvent; either carries the
// resource as its GET route answers it, null on Delete.
const session = 'OnJsonApiEvent_tav-champ-select_v1_session';
check(JSON.stringify(keys.filter((k) => !k.startsWith('OnJsonApiEvent_'))) ===
      JSON.stringify(['OnJsonApiEvent', 'devhost', 'log', 'module', 'stream-closed']),
      `messages: ${keys}`);
check(keys.includes(session) && keys.includes('OnJsonApiEvent_tav-champ-select_v1_team-boost'),
      `derived names: ${keys}`);
const dataOf = (key) => messages[key]?.payload?.properties?.data?.anyOf?.map((s) => s.$ref ?? s.type);
for (const key of ['OnJsonApiEvent', session]) {
  const payload = messages[key]?.payload;
  check(messages[key]?.name === key && messages[key]?.['x-sse-event'] === 'plugin',
        `${key} arrives as "plugin"`);
  check(JSON.stringify(payload?.required) === '["name","uri","eventType","data"]',
        `${key} members: ${payload?.required}`);
  check(payload?.properties?.name?.const === key, `${key}: the name is the event name`);
  check(JSON.stringify(payload?.properties?.eventType?.enum) === '["Create","Update","Delete"]',
        `${key}: the event types`);
  check(dataOf(key)?.[0] === '#/components/schemas/TavChampSelectChampSelectSession' &&
        dataOf(key)?.at(-1) === 'null', `${key}: data is the session or null: ${dataOf(key)}`);
}
check(dataOf('OnJsonApiEvent')?.includes('#/components/schemas/TavChampSelectTeamBoost') &&
      !dataOf(session)?.includes('#/components/schemas/TavChampSelectTeamBoost'),
      'a derived name carries only its own resources');
for (const ref of keys.flatMap((k) => dataOf(k) ?? [])) {
  check(!ref.startsWith('#') || ref.replace('#/components/schemas/', '') in schemas,
        `${ref} is a component`);
}
// The same answer shape as the OpenAPI document: members required.
check(schemas.TavChampSelectChampSelectSession?.required?.includes('localPlayerCellId'),
      'the session requires its members');

for (const event of ['devhost', 'log', 'module', 'stream-closed']) {
  check(messages[event]?.['x-sse-event'] === event && messages[event]?.name === event,
        `${event} arrives as "${event}"`);
}
check(JSON.stringify(messages.devhost?.payload?.properties?.activeImplementation?.enum) ===
      '["legacy","team-builder",null]', 'the active implementation may be none');
check(JSON.stringify(messages.log?.payload?.required) === '["level","message"]', 'a log line');

if (failures.length > 0) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log(`valid AsyncAPI ${parsed.version()} document, ${keys.length} messages, ` +
            `${Object.keys(schemas).length} schemas`);
