// /events as typed subscriptions: subscribe(name, handler) per event name,
// the handler's payload typed from the AsyncAPI document.
import { sseEventOf, type EventMap, type EventName } from './events.js';
import { fetchEventSource } from './sse-reader.js';

/** An event as an EventSource hands it over (a MessageEvent in the browser). */
export interface SseEvent {
  readonly data?: unknown;
}

/** What the stream needs of an EventSource. */
export interface EventSourceLike {
  addEventListener(type: string, listener: (event: SseEvent) => void): void;
  close(): void;
}

export interface EventStreamOptions {
  /** Also stream the module's log lines (the `log` event). */
  log?: boolean;
  /** Opens the stream; by default the global EventSource, or a reader over fetch where there is none (node 20). */
  open?: (url: string) => EventSourceLike;
  /** Told when the stream fails or ends (a browser's EventSource then reconnects by itself). */
  onError?: (event: SseEvent) => void;
}

export interface EventStream {
  /** Calls handler with each payload of the named event; returns the unsubscribe. */
  subscribe<Name extends EventName>(name: Name, handler: (payload: EventMap[Name]) => void): () => void;
  close(): void;
}

type Handler = (payload: unknown) => void;

function openDefault(url: string): EventSourceLike {
  const { EventSource } = globalThis as { EventSource?: new (url: string) => EventSourceLike };
  return EventSource ? new EventSource(url) : fetchEventSource(url);
}

export function createEventStream(baseUrl: string, options: EventStreamOptions = {}): EventStream {
  const url = new URL('/events', baseUrl);
  if (options.log) url.searchParams.set('log', '1');
  const source = (options.open ?? openDefault)(url.href);
  if (options.onError) source.addEventListener('error', options.onError);

  const handlers = new Map<string, Set<Handler>>();
  const listening = new Set<string>();
  const deliver = (name: string, payload: unknown) => {
    for (const handler of handlers.get(name) ?? []) handler(payload);
  };
  // Events that share an SSE event field (every "plugin" event) are told
  // apart by their payload's name; any other is its field's only event.
  const listen = (field: string) => {
    if (listening.has(field)) return;
    listening.add(field);
    const names = Object.entries(sseEventOf).filter(([, f]) => f === field).map(([name]) => name);
    source.addEventListener(field, (event) => {
      const payload: unknown = JSON.parse(String(event.data));
      if (names.length === 1) {
        deliver(names[0], payload);
      } else if (typeof payload === 'object' && payload !== null && 'name' in payload) {
        deliver(String(payload.name), payload);
      }
    });
  };

  return {
    subscribe(name, handler) {
      const set = handlers.get(name) ?? new Set<Handler>();
      handlers.set(name, set);
      set.add(handler as Handler);
      listen(sseEventOf[name]);
      return () => set.delete(handler as Handler);
    },
    close: () => source.close(),
  };
}
