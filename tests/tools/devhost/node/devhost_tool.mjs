// What the node and browser tests of the development host share: the tool
// started on an ephemeral port and stopped with SIGTERM, headless Chromium,
// local servers, waits that name what they waited for, and the failures
// gathered as a test goes and reported at its end.
import { spawn } from 'node:child_process';
import { once } from 'node:events';
import { mkdtemp, rm } from 'node:fs/promises';
import http from 'node:http';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';

// "--name value" pairs into { name: value }.
export const parseArgs = (argv) => Object.fromEntries(
  argv.slice(2).reduce((pairs, value, i, all) =>
    (i % 2 === 0 ? [...pairs, [value.replace(/^--/, ''), all[i + 1]]] : pairs), []));

// TAV_DEVHOST_COMMAND, when set, replaces the tool (its words split at
// spaces) with another build, such as the Windows tool under Wine; that one
// is stopped with SIGINT, which Wine hands to its console handler as Ctrl-C.
const otherCommand = (process.env.TAV_DEVHOST_COMMAND ?? '').split(' ').filter(Boolean);

// Starts the tool on an ephemeral port; its start line names the page's URL.
export async function startTool(toolPath, scenario, extraArgs = []) {
  const [command, ...prefix] = otherCommand.length > 0 ? otherCommand : [toolPath];
  const tool = spawn(command, [...prefix, '--port', '0', '--scenario', scenario, ...extraArgs],
    { stdio: ['ignore', 'ignore', 'pipe'] });
  let stderr = '';
  // Once settled, the promise ignores the rest; the timer holds nothing up.
  const url = await new Promise((resolve, reject) => {
    setTimeout(() => reject(new Error(`no start line in 60 s:\n${stderr}`)), 60_000).unref();
    tool.on('exit', (code) => reject(new Error(`the tool ended with ${code} before serving:\n${stderr}`)));
    tool.stderr.setEncoding('utf8').on('data', (chunk) => {
      stderr += chunk;
      const match = /serving (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32})/.exec(stderr);
      if (match) resolve(match[1]);
    });
  });
  return { tool, url: new URL(url), stderr: () => stderr };
}

// The exit status, or the signal that ended it.
export async function stopTool(tool) {
  if (tool.exitCode !== null || tool.signalCode !== null) return tool.signalCode ?? tool.exitCode;
  const exited = once(tool, 'exit');
  tool.kill(otherCommand.length > 0 ? 'SIGINT' : 'SIGTERM');
  const timer = setTimeout(() => tool.kill('SIGKILL'), 30_000);
  const [code, signal] = await exited;
  clearTimeout(timer);
  return signal ?? code;
}

// How long one step of a test may take.
const STEP_TIMEOUT = 30_000;

// What a test found wrong, gathered as it goes and reported at its end.
const failures = [];
export const check = (condition, what) => {
  if (!condition) failures.push(what);
};

// Prints the failures with the tool's stderr and exits with 1, or prints passed.
export function report(started, passed) {
  if (failures.length > 0) {
    console.error(failures.join('\n'));
    if (started) console.error(`--- the tool's stderr ---\n${started.stderr()}`);
    process.exit(1);
  }
  console.log(typeof passed === 'function' ? passed() : passed);
}

// A wait that says what it waited for when it times out.
export const until = (what, promise) => promise.catch((error) => {
  throw new Error(`${what}: ${error.message}`);
});

// Waits until fn(arg) holds in the page.
export const waitIn = (page, what, fn, arg, timeout = STEP_TIMEOUT) =>
  until(what, page.waitForFunction(fn, { timeout }, arg));

// A page that waits STEP_TIMEOUT a step, with the errors it reports gathered.
export async function openPage(browser) {
  const page = await browser.newPage();
  page.setDefaultTimeout(STEP_TIMEOUT);
  await page.setViewport({ width: 1400, height: 1000 });
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  page.on('console', (message) => message.type() === 'error' && errors.push(message.text()));
  return { page, errors };
}

// The control routes under /_dev/, with the run's token; throws on an error status.
export function controlClient(url) {
  const token = url.searchParams.get('token');
  return async (method, path, body) => {
    const response = await fetch(`${url.origin}/_dev/${path}`, {
      method,
      headers: { 'X-Tav-Dev-Token': token, 'Content-Type': 'application/json' },
      body: body === undefined ? undefined : JSON.stringify(body),
    });
    const text = await response.text();
    if (!response.ok) throw new Error(`${method} /_dev/${path}: ${response.status} ${text}`);
    return text === '' ? null : JSON.parse(text);
  };
}

// Runs body(t), whose t starts the tool (checked to end cleanly), headless
// Chromium and local servers, each stopped at the end, last first, whatever
// happened; then reports.
export async function runTest(args, passed, body) {
  const cleanups = [];
  let started = null;
  const t = {
    defer: (cleanup) => cleanups.unshift(cleanup),
    async start(scenario = args.scenario, extraArgs = []) {
      started = await startTool(args.tool, scenario, extraArgs);
      t.defer(async () => {
        const status = await stopTool(started.tool);
        check(status === 0 || status === 'SIGTERM', `the tool ended with ${status} when stopped`);
      });
      return started;
    },
    // On a profile of its own, removed with it; root in a container: no
    // sandbox; no GPU; nothing fetched in the background.
    async browser() {
      const userDataDir = await mkdtemp(join(tmpdir(), 'tav-devhost-chromium-'));
      t.defer(() => rm(userDataDir, { recursive: true, force: true }));
      const browser = await puppeteer.launch({
        executablePath: args.chromium || process.env.CHROMIUM || '/usr/bin/chromium',
        headless: true,
        userDataDir,
        args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run',
          '--disable-background-networking', '--disable-component-update', '--disable-sync'],
        protocolTimeout: 120_000,
      });
      t.defer(() => browser.close());
      return browser;
    },
    // A server on 127.0.0.1 and an ephemeral port; returns the port.
    async serve(handler) {
      const server = http.createServer(handler).listen(0, '127.0.0.1');
      await once(server, 'listening');
      t.defer(() => {
        server.closeAllConnections();
        server.close();
      });
      return server.address().port;
    },
  };
  try {
    await body(t);
  } catch (error) {
    failures.push(error.stack || String(error));
  }
  for (const cleanup of cleanups) {
    await Promise.resolve().then(cleanup).catch((error) => failures.push(error.stack || String(error)));
  }
  report(started, passed);
}
