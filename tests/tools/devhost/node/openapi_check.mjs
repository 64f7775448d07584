// Validates the generated OpenAPI document with a maintained OpenAPI 3.1
// validator, then checks a few things the module's endpoint table must have
// put in it. Usage: node openapi_check.mjs DOCUMENT.json
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

// How the generator writes each kind of table entry is its C++ test's
// (DevhostOpenApi); here, what the real module's table puts in: the action
// is the body form, the action id unsigned, the session's members required.
const find = (method, path) =>
  operations.find((o) => o.method === method && o.path === path)?.operation;
const schemas = document.components?.schemas ?? {};
const action = find('patch', '/tav-champ-select/v1/session/actions/{id}');
check(action?.parameters?.find((p) => p.name === 'id')?.schema?.format === 'uint64', 'action id is uint64');
check(action?.requestBody?.content?.['application/json']?.schema?.$ref ===
      '#/components/schemas/TavChampSelectChampSelectActionBody', 'action body is the action record\'s body form');
const session = schemas.TavChampSelectChampSelectSession;
check(session?.required?.length === 13 && session.required[0] === 'timer', `session required: ${session?.required}`);
check(schemas.TavChampSelectChampSelectActionBody?.required === undefined, 'the action body requires nothing');
check(!('BindingFullApiHelp' in schemas), 'only the types the paths reach are components');

if (failures.length > 0) {
  console.error(failures.join('\n'));
  process.exit(1);
}
console.log(`valid OpenAPI ${validator.version} document, ${operations.length} operations, ` +
            `${Object.keys(schemas).length} schemas`);
