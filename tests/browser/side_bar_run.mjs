// Runs the real Velmora.exe under Wine, "installed" with a build's stand-ins (the registry values
// the program reads), with the stand-in shell in bridge mode, so that the side bar's page runs in
// a real browser. Loopback services stand in for the maker's network services: a small server
// of ours for the hosts the program probes, and the build's demo_services.exe for the cloud tool
// list and the weather. Used by the browser tests and by scripts/run.
import {execFile, spawn} from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import {promisify} from 'node:util';

const run = promisify(execFile);

export const kChromium = process.env.VELMORA_CHROMIUM || '/usr/bin/chromium';
const kBrowserClientState =
  'HKCU\\Software\\Vuq\\Ravida6\\Update\\ClientState\\{02E720BD-2B50-4404-947C-65DBE64F6970}';
const kAppPaths = 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Guardian.exe';
// The keys a run writes or lets the program write; each is put back as it was.
const kKeptKeys = ['HKCU\\Software\\Vuq', 'HKCU\\SOFTWARE\\VuqAppMgr\\Velmora'];
// The autostart value (the page's "start with Windows" switch writes it): left behind, it would
// start a side bar with the prefix's next session. Put back as it was too.
const kRunKey = 'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run';
const kAutoStartValue = 'VuqVelmora';

async function autoStartValue(wine) {
  const {stdout} = await run(wine, ['reg', 'query', kRunKey, '/v', kAutoStartValue]).catch(() => ({stdout: ''}));
  const found = new RegExp(`${kAutoStartValue}\\s+REG_SZ\\s+(.*)$`, 'm').exec(stdout);
  return found ? found[1].trimEnd() : null;
}

// Recently used programs and documents, for a run that shows them (scripts/run): UserAssist
// records of programs the prefix has and Office MRU entries of two documents of the run's own.
// Both keys are kept and put back like the others. The documents are on drive C: (the prefix's
// drive_c), since the side bar lists only documents on internal fixed disks, which Wine's Z: is
// not; they are removed again at the end.
const kUserAssistCount =
  'HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}\\Count';
const kOffice = 'HKCU\\Software\\Microsoft\\Office';
const kRecentPrograms = ['C:\\windows\\notepad.exe', 'C:\\windows\\system32\\winemine.exe',
  'C:\\windows\\regedit.exe', 'C:\\windows\\system32\\taskmgr.exe'];
const kRecentDocuments = [['Word', 'Quarterly report.docx'], ['Excel', 'Budget 2027.xlsx']];

function rot13(text) {
  return text.replace(/[a-z]/gi, (c) => String.fromCharCode((c <= 'Z' ? 90 : 122) >= c.charCodeAt(0) + 13
    ? c.charCodeAt(0) + 13 : c.charCodeAt(0) - 13));
}

// reg commands writing the records: the newest first in the list, used a minute apart.
function recentDocumentsFolder() {
  const user = os.userInfo().username;
  return {linux: path.join(process.env.WINEPREFIX, 'drive_c', 'users', user, 'Temp', 'velmora-run'),
    windows: `C:\\users\\${user}\\Temp\\velmora-run`};
}

function recentRecordLines() {
  const lines = [];
  kRecentPrograms.forEach((program, i) => {
    // 72 bytes with the time of the last use as a FILETIME at offset 60.
    const data = Buffer.alloc(72);
    data.writeBigUInt64LE((BigInt(Date.now() - i * 60000) + 11644473600000n) * 10000n, 60);
    lines.push(`reg add "${kUserAssistCount}" /v "${rot13(program)}" /t REG_BINARY /d ${data.toString('hex')} /f >nul`);
  });
  const documents = recentDocumentsFolder();
  fs.mkdirSync(documents.linux, {recursive: true});
  for (const [application, name] of kRecentDocuments) {
    fs.writeFileSync(path.join(documents.linux, name), 'demo');
    lines.push(`reg add "${kOffice}\\16.0\\${application}\\File MRU" /v "Item 1" /d "[F00000000][T01DA0000000000][O00000000]*${documents.windows}\\${name}" /f >nul`);
  }
  return lines;
}

// The city in the demo weather service's report (tests/tools/demo_services.cpp).
export const kServiceCity = 'Demo City';

export function windowsPath(linuxPath) {
  return 'Z:' + path.resolve(linuxPath).replaceAll('/', '\\');
}

export function sleep(ms) {
  return new Promise((resolve) => setTimeout(resolve, ms));
}

async function until(what, test, timeoutMs, intervalMs = 100) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const value = await test();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out after ${timeoutMs} ms waiting for ${what}`);
    await sleep(intervalMs);
  }
}

// Every host name the build's configuration names (probe hosts, page host, download host).
function serviceHosts(build) {
  const cache = fs.readFileSync(path.join(build, 'CMakeCache.txt'), 'utf8');
  const hosts = new Set();
  for (const [, value] of cache.matchAll(/^VELMORA_\w*HOSTS?:STRING=(.*)$/gm)) {
    for (const host of value.split(';')) if (host.trim()) hosts.add(host.trim());
  }
  return [...hosts];
}

function engineVersion(build) {
  const cache = fs.readFileSync(path.join(build, 'CMakeCache.txt'), 'utf8');
  return /^VELMORA_ENGINE_VERSION:STRING=(.*)$/m.exec(cache)[1];
}

// The hosts the program probes, on one loopback port: any answer says the network is there.
// Requests are recorded.
function startProbeServer() {
  const requests = [];
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    response.writeHead(200, {'Content-Type': 'text/plain'});
    response.end('up');
  });
  return new Promise((resolve) => {
    server.listen(0, '127.0.0.1', () => resolve({server, requests, origin: `http://127.0.0.1:${server.address().port}`}));
  });
}

// The build's demo cloud list and weather services, which add their hosts to `hostsMap`; null
// when the build has none.
async function startDemoServices(build, wine, hostsMap) {
  const program = path.join(build, 'tools', 'demo_services.exe');
  if (!fs.existsSync(program)) return null;
  const child = spawn(wine, [windowsPath(program), windowsPath(hostsMap), String(24 * 3600)], {stdio: ['ignore', 'pipe', 'ignore']});
  let said = '';
  child.stdout.on('data', (chunk) => (said += chunk));
  await until('the demo services', () => {
    if (child.exitCode !== null) throw new Error('the demo services did not start');
    return said.includes('serving');
  }, 10 * 60000);  // a 32-bit build's may run under emulation
  return child;
}

// One Windows command-line session running `lines` (a batch file): one Wine process for all.
async function batch(wine, folder, name, lines) {
  const file = path.join(folder, name);
  fs.writeFileSync(file, ['@echo off', ...lines, ''].join('\r\n'));
  try {
    await run(wine, ['cmd', '/c', windowsPath(file)], {timeout: 120000});
  } catch {
    // reg answers 1 for a key that is not there to export or delete; what matters is checked later.
  }
}

export function readLog(file) {
  try {
    return fs.readFileSync(file, 'utf8').split(/\r?\n/).filter(Boolean);
  } catch {
    return [];
  }
}

// Starts the side bar. Options:
//   build       the build folder (suite/, browser/, CMakeCache.txt)
//   wine        the Wine loader that runs that build's programs
//   work        a fresh folder for this run
//   ownSuite    run a copy of the suite in `work` (tests) instead of the build's own suite
//               (scripts/run). Either way the run has an APPDATA of its own in `work`: the
//               prefix's would hold the per-user copy of an earlier build of the same version,
//               which the program keeps.
//   arguments   Velmora.exe's arguments: none starts it as a user would (through its relaunches)
//   page        stand-in shell steps played alongside the real page
//   is32bit     the program reads HKLM\SOFTWARE through the 32-bit view
//   recent      a few recently used programs and documents for the page to show
//   addressTimeoutMs  how long the side bar may take to serve its page
//   signal      an AbortSignal that gives up waiting for the page (everything is put back)
export async function startSideBar({build, wine, work, ownSuite = false, arguments: args = [], page = [], is32bit = false,
                                    recent = false, addressTimeoutMs = 180000, signal = null}) {
  fs.mkdirSync(work, {recursive: true});
  const suite = ownSuite ? path.join(work, 'suite') : path.join(build, 'suite');
  if (ownSuite) fs.cpSync(path.join(build, 'suite'), suite, {recursive: true});
  const appdata = path.join(work, 'appdata');
  fs.mkdirSync(appdata, {recursive: true});
  const log = path.join(work, 'standins.log');
  fs.rmSync(log, {force: true});
  const pageFile = path.join(work, 'page.txt');
  const addressFile = path.join(work, 'address.txt');
  fs.rmSync(addressFile, {force: true});
  fs.writeFileSync(pageFile, page.map((step) => step + '\n').join(''));

  const services = await startProbeServer();
  const hostsMap = path.join(suite, 'NetCore.hosts');
  fs.writeFileSync(hostsMap, serviceHosts(build).map((host) => `${host} ${services.origin}\n`).join(''));
  const demoServices = await startDemoServices(build, wine, hostsMap);

  const view = is32bit ? '/reg:32' : '/reg:64';
  const installer = path.join(build, 'browser', 'Application', engineVersion(build), 'Installer', 'setup.exe');
  const keptKeys = recent ? [...kKeptKeys, kUserAssistCount, kOffice] : kKeptKeys;
  const backups = keptKeys.map((key, i) => ({key, file: path.join(work, `kept${i}.reg`)}));
  const autoStart = await autoStartValue(wine);
  const appPathsBackup = path.join(work, 'kept-app-paths.reg');
  await batch(wine, work, 'install.cmd', [
    ...backups.map(({key, file}) => `reg export "${key}" "${windowsPath(file)}" /y >nul 2>&1`),
    `reg export "${kAppPaths}" "${windowsPath(appPathsBackup)}" /y ${view} >nul 2>&1`,
    ...keptKeys.map((key) => `reg delete "${key}" /f >nul 2>&1`),
    ...(recent ? recentRecordLines() : []),
    `reg add "${kAppPaths}" /v Path /d "${windowsPath(suite)}" /f ${view} >nul`,
    `reg add "${kBrowserClientState}" /v UninstallString /d "${windowsPath(installer)}" /f >nul`,
  ]);

  const environment = {
    ...process.env,
    VELMORA_STANDIN_LOG: windowsPath(log),
    VELMORA_SHELL_PAGE: windowsPath(pageFile),
    VELMORA_SHELL_BRIDGE: '0',
    // The page's address with its token goes to a file of the run's own (private) folder only.
    VELMORA_SHELL_ADDRESS_FILE: windowsPath(addressFile),
    VELMORA_STANDIN_ACCOUNT: windowsPath(path.join(work, 'account.txt')),
  };
  // The page's sources while it is being developed, as the Windows side names them.
  const pageFolder = process.env.VELMORA_SHELL_PAGE_DIR;
  if (pageFolder && pageFolder.startsWith('/')) environment.VELMORA_SHELL_PAGE_DIR = windowsPath(pageFolder);
  const exe = windowsPath(path.join(suite, 'Utils', 'Velmora.exe'));
  const starter = path.join(work, 'start.cmd');
  // Wine sets APPDATA from its own profile: only a command line can give the program another.
  fs.writeFileSync(starter, ['@echo off', `set "APPDATA=${windowsPath(appdata)}"`,
    `"${exe}" ${args.join(' ')}`, ''].join('\r\n'));
  const started = spawn(wine, ['cmd', '/c', windowsPath(starter)], {env: environment, stdio: 'ignore'});
  let exited = false;
  started.on('exit', () => (exited = true));

  const sideBar = {
    log,
    suite,
    appdata,
    services,
    started,
    lines: () => readLog(log),
    // The stand-in shell's lines, without their "shell pid=N " prefix.
    transcript: () => readLog(log).filter((line) => line.startsWith('shell ')).map((line) => line.replace(/^shell pid=\d+ /, '')),
    // The Windows process id of the side bar (the one running the shell), or before the shell
    // runs the latest process of its start that wrote to the log; 0 when none did.
    processId() {
      const lines = readLog(log);
      const line = lines.find((each) => /^shell pid=\d+ /.test(each)) || lines[lines.length - 1];
      const found = line && /^\S+ pid=(\d+) /.exec(line);
      return found ? Number(found[1]) : 0;
    },
    ended: () => readLog(log).some((line) => /^shell pid=\d+ release$/.test(line)),
    address: null,
    async stop(waitMs = 20000) {
      try {
        await until('the side bar to end', () => sideBar.ended() && (args.length === 0 || exited), waitMs, 200);
      } catch {
        const id = sideBar.processId();
        if (id) await run(wine, ['taskkill', '/f', '/pid', String(id)]).catch(() => {});
      }
      if (!exited) await until('the started program to end', () => exited, 30000, 200).catch(() => started.kill());
      services.server.close();
      demoServices?.kill();
      fs.rmSync(hostsMap, {force: true});
      if (recent) fs.rmSync(recentDocumentsFolder().linux, {recursive: true, force: true});
      await batch(wine, work, 'uninstall.cmd', [
        ...keptKeys.map((key) => `reg delete "${key}" /f >nul 2>&1`),
        `reg delete "${kAppPaths}" /f ${view} >nul 2>&1`,
        ...backups.filter(({file}) => fs.existsSync(file)).map(({file}) => `reg import "${windowsPath(file)}" >nul 2>&1`),
        fs.existsSync(appPathsBackup) ? `reg import "${windowsPath(appPathsBackup)}" ${view} >nul 2>&1` : '',
        `reg delete "${kRunKey}" /v ${kAutoStartValue} /f >nul 2>&1`,
        autoStart === null ? '' : `reg add "${kRunKey}" /v ${kAutoStartValue} /d "${autoStart.replaceAll('"', '\\"')}" /f >nul`,
      ]);
    },
  };
  try {
    sideBar.address = await until('the bridge address', () => {
      if (fs.existsSync(addressFile)) return fs.readFileSync(addressFile, 'utf8');
      if (exited && args.length > 0) throw new Error('Velmora.exe ended before its page was served');
      if (signal?.aborted) throw new Error('stopped before the page was served');
      return null;
    }, addressTimeoutMs);
  } catch (error) {
    await sideBar.stop(0);  // ends what runs and puts the registry back
    throw error;
  }
  return sideBar;
}

// Headless Chromium through playwright-core (Debian's chromium, never a downloaded one).
export async function launchChromium() {
  const {chromium} = await import('playwright-core');
  return chromium.launch({executablePath: kChromium, args: ['--no-sandbox', '--headless=new']});
}

// Opens the side bar's page at the size the side bar gave it, and waits for it to have
// filled in. Returns the page.
export async function openPage(browser, address, {timeoutMs = 60000} = {}) {
  const page = await browser.newPage({viewport: {width: 360, height: 640}});
  await page.goto(address);
  await page.waitForFunction(() => document.documentElement.dataset.shellShown === '1', null, {timeout: timeoutMs});
  const bounds = await page.evaluate(() => document.documentElement.dataset.shellBounds);
  const [, , width, height] = bounds.split(' ').map(Number);
  if (width > 0 && height > 0) await page.setViewportSize({width, height});
  await page.waitForFunction(() => document.documentElement.dataset.page === 'ready', null, {timeout: timeoutMs});
  return page;
}

export function temporaryFolder(prefix) {
  return fs.mkdtempSync(path.join(os.tmpdir(), prefix));
}
