// A minimal EventSource over fetch, for runtimes without one (node 20): reads
// "event:" and "data:" fields, dispatches at each blank line, and reports a
// failed or ended stream as "error". It does not reconnect.
import type { EventSourceLike, SseEvent } from './event-stream.js';

export function fetchEventSource(url: string, init: RequestInit = {}): EventSourceLike {
  const controller = new AbortController();
  const listeners = new Map<string, Set<(event: SseEvent) => void>>();
  const emit = (type: string, event: SseEvent) => {
    for (const listener of listeners.get(type) ?? []) listener(event);
  };

  let type = '';
  let data: string[] = [];
  const field = (line: string) => {
    if (line === '') {
      if (data.length > 0) emit(type || 'message', { data: data.join('\n') });
      type = '';
      data = [];
      return;
    }
    const colon = line.indexOf(':');
    const name = colon < 0 ? line : line.slice(0, colon);
    const value = colon < 0 ? '' : line.slice(colon + (line[colon + 1] === ' ' ? 2 : 1));
    if (name === 'event') type = value;
    else if (name === 'data') data.push(value);
  };

  const read = async () => {
    const headers = new Headers(init.headers);
    headers.set('Accept', 'text/event-stream');
    const response = await fetch(url, { ...init, headers, signal: controller.signal });
    if (!response.ok || !response.body) throw new Error(`GET ${url}: ${response.status}`);
    emit('open', {});
    const reader = response.body.pipeThrough(new TextDecoderStream()).getReader();
    let buffer = '';
    for (;;) {
      const { value, done } = await reader.read();
      if (done) break;
      buffer += value;
      // A line ends at CRLF, LF or CR; a CR at the very end may be half a CRLF.
      let end: RegExpExecArray | null;
      while ((end = /\r\n|\n|\r(?!$)/.exec(buffer)) !== null) {
        field(buffer.slice(0, end.index));
        buffer = buffer.slice(end.index + end[0].length);
      }
    }
    throw new Error(`GET ${url}: the stream ended`);
  };
  read().catch((error: unknown) => {
    if (!controller.signal.aborted) emit('error', { data: String(error) });
  });

  return {
    addEventListener(type, listener) {
      const set = listeners.get(type) ?? new Set();
      listeners.set(type, set);
      set.add(listener);
    },
    close: () => controller.abort(),
  };
}
