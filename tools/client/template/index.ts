// The plugin's API and the development host's event stream, typed from the
// tool's own OpenAPI and AsyncAPI documents (`make client` writes them again).
import createClient, { type ClientOptions } from 'openapi-fetch';
import type { paths } from './schema.js';

export type { components, paths } from './schema.js';
export * from './events.js';
export * from './event-stream.js';
export * from './dev-control.js';
export { fetchEventSource } from './sse-reader.js';

/** A fetch client whose paths, parameters, bodies and answers are typed. */
export function createApiClient(baseUrl: string, options: Omit<ClientOptions, 'baseUrl'> = {}) {
  return createClient<paths>({ ...options, baseUrl });
}
