// The development host's own descriptions of the plugin: the tool is started
// on a free port, asked for /openapi.json and /asyncapi.json, and stopped.
// Asking the tool (rather than a dump program) gives exactly what a front end
// that talks to it sees.
import { spawn } from 'node:child_process';
import { once } from 'node:events';

const START_LINE = /serving (http:\/\/127\.0\.0\.1:\d+)\//;

async function startTool(toolPath) {
  const tool = spawn(toolPath, ['--port', '0'], { stdio: ['ignore', 'ignore', 'pipe'] });
  let stderr = '';
  const origin = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`${toolPath}: no start line in 60 s:\n${stderr}`)), 60_000);
    tool.stderr.setEncoding('utf8');
    tool.stderr.on('data', (chunk) => {
      stderr += chunk;
      const match = START_LINE.exec(stderr);
      if (match) {
        clearTimeout(timer);
        resolve(match[1]);
      }
    });
    tool.on('error', (error) => {
      clearTimeout(timer);
      reject(error);
    });
    tool.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`${toolPath} ended with ${code} before serving:\n${stderr}`));
    });
  });
  return { tool, origin };
}

async function stopTool(tool) {
  if (tool.exitCode !== null || tool.signalCode !== null) return;
  const exited = once(tool, 'exit');
  tool.kill('SIGTERM');
  const timer = setTimeout(() => tool.kill('SIGKILL'), 10_000);
  await exited;
  clearTimeout(timer);
}

async function fetchJson(url) {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`GET ${url}: ${response.status} ${await response.text()}`);
  return response.json();
}

export async function fetchDocuments(toolPath) {
  const { tool, origin } = await startTool(toolPath);
  try {
    return {
      openapi: await fetchJson(`${origin}/openapi.json`),
      asyncapi: await fetchJson(`${origin}/asyncapi.json`),
    };
  } finally {
    await stopTool(tool);
  }
}
