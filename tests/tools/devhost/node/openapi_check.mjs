// Validates the generated OpenAPI document with a maintained OpenAPI 3.1
// validator, then checks what the module's endpoint table must have put in
// it. Usage: node openapi_check.mjs DOCUMENT.json
import { readFileSync } from 'node:fs';
import { Validator } from '@seriousme/openapi-schema-validator';

const failures = [];
const check = (condition, what) => {
  if (!condition) failures.push(what);
};

const document = JSON.parse(readFileSync(process.argv[2], 'utf8'));
const validator = new Validator();
const result = await validator.validate(document);
check(validator.version === '3.1', `validated as OpenAPI ${validator.version}, not 3.1`);
if (!result.valid) {
  failures.push(`not a valid OpenAPI document: ${JSON.stringify(result.errors, null, 2)}`);
}

const operations = [];
for (const [path, item] of Object.entries(document.paths ?? {})) {
  for (const [method, operation] of Object.entries(item)) {
    operations.push({ path, method, operation });
  }
}
const ids = operations.map((o) => o.operation.operationId);
check(operations.length === 19, `19 operations, found ${operations.length}`);
check(new Set(ids).size === ids.length, 'operation ids are unique');

const find = (method, path) =>
  operations.find((o) => o.method === method && o.path === path)?.operation;
const schemas = document.components?.schemas ?? {};
const resolve = (schema) =>
  schema?.$ref ? schemas[schema.$ref.replace('#/components/schemas/', '')] : schema;

// The action id is unsigned 64-bit, the trade ids signed; the action is the body.
const action = find('patch', '/tav-champ-select/v1/session/actions/{id}');
check(action?.operationId === 'PatchTavChampSelectV1SessionActionsById', 'action operation id');
const actionId = action?.parameters?.find((p) => p.name === 'id');
check(actionId?.in === 'path' && actionId?.required === true, 'action id is a required path parameter');
check(actionId?.schema?.type === 'integer' && actionId?.schema?.format === 'uint64' &&
      actionId?.schema?.minimum === 0, `action id is uint64: ${JSON.stringify(actionId?.schema)}`);
const tradeId = find('post', '/tav-champ-select/v1/session/trades/{id}/accept')
  ?.parameters?.find((p) => p.name === 'id');
check(tradeId?.schema?.format === 'int64', 'trade id is int64');
check(find('post', '/tav-champ-select/v1/session/trades/{id}/accept')?.responses?.['204'] !== undefined,
      'an accept may answer 204');
const actionBody = action?.requestBody?.content?.['application/json']?.schema;
check(actionBody?.$ref === '#/components/schemas/TavChampSelectChampSelectActionBody',
      `action body is the action record's body form: ${JSON.stringify(actionBody)}`);

// Enums by enumerator name; a record answer through its component.
const trade = resolve(find('get', '/tav-champ-select/v1/session/trades/{id}')
  ?.responses?.['200']?.content?.['application/json']?.schema);
check(JSON.stringify(resolve(trade?.properties?.state)?.enum) ===
      JSON.stringify(['AVAILABLE', 'BUSY', 'INVALID', 'RECEIVED', 'SENT']),
      `trade state enumerators by name: ${JSON.stringify(resolve(trade?.properties?.state))}`);
const trades = find('get', '/tav-champ-select/v1/session/trades')
  ?.responses?.['200']?.content?.['application/json']?.schema;
check(trades?.type === 'array' &&
      trades?.items?.$ref === '#/components/schemas/TavChampSelectChampSelectTradeContract',
      'trades answer a list of contracts');

// An answer's required members follow the optional flags; a body requires
// none (the module keeps an absent member's value), its optional ones may
// be null.
const session = schemas.TavChampSelectChampSelectSession;
check(session?.required?.length === 13 && session.required[0] === 'timer' &&
      session.required.includes('localPlayerCellId'), `session required: ${session?.required}`);
const actionForm = schemas.TavChampSelectChampSelectActionBody;
check(actionForm?.properties?.championId?.format === 'int32' && actionForm.required === undefined,
      `the action body requires nothing: ${JSON.stringify(actionForm)}`);
const selection = schemas.TavChampSelectChampSelectMySelectionBody;
check(selection && selection.required === undefined, 'the selection has no required member');
check(JSON.stringify(selection?.properties?.spell1Id?.anyOf?.[1]) === '{"type":"null"}',
      'an optional member may be null');
check(find('patch', '/tav-champ-select/v1/session/my-selection')?.requestBody?.required === true,
      'the selection body is required');
check(!('BindingFullApiHelp' in schemas), 'only the types the paths reach are components');

if (failures.length > 0) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log(`valid OpenAPI ${validator.version} document, ${operations.length} operations, ` +
            `${Object.keys(schemas).length} schemas`);
