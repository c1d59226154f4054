// The side bar's page in headless Chromium against the real Velmora.exe: one side bar run (a
// copy of the build's suite, its own APPDATA, the stand-in shell in bridge mode) for every check.
// What a person would see, then what the bridge refuses. Screenshots go to
// <build>/browser-tests/.
//
//   VELMORA_TEST_BUILD   the build folder whose Velmora.exe runs (required)
//   VELMORA_WINE_LOADER  the Wine loader for its programs (required)
//   VELMORA_TEST_32BIT   1 when that build's programs are 32-bit
import assert from 'node:assert/strict';
import {execFile} from 'node:child_process';
import fs from 'node:fs';
import net from 'node:net';
import path from 'node:path';
import {after, before, test} from 'node:test';
import {promisify} from 'node:util';

import {kServiceCity, launchChromium, openPage, readLog, sleep, startSideBar, temporaryFolder, windowsPath} from './side_bar_run.mjs';

const build = process.env.VELMORA_TEST_BUILD;
const wine = process.env.VELMORA_WINE_LOADER;
assert.ok(build && wine, 'VELMORA_TEST_BUILD and VELMORA_WINE_LOADER name the build and its Wine loader');
const artefacts = path.join(build, 'browser-tests');
const work = temporaryFolder('velmora-browser-');
const signInSignal = path.join(work, 'sign-in-now');

let sideBar;
let browser;
let page;
let origin;
let token;

before(async () => {
  fs.mkdirSync(artefacts, {recursive: true});
  sideBar = await startSideBar({
    build, wine, work, ownSuite: true, is32bit: process.env.VELMORA_TEST_32BIT === '1', arguments: ['/rerun', '/lowrun'],
    page: ['waitpage', `waitfor ${windowsPath(signInSignal)}`,
      'signin someone 0 nike_name=Ann Example|qid=42|real_email=a@b.c|account_type=1|cookie=Q=q1;T=t1;S=s1;'],
  });
  const address = new URL(sideBar.address);
  origin = address.origin;
  token = address.pathname.split('/')[1];
  browser = await launchChromium();
  page = await openPage(browser, sideBar.address);
});

after(async () => {
  try {
    // The side bar answers Close before it closes: the call has arrived when this returns.
    if (page && !page.isClosed()) await page.evaluate(() => window.sideBar.ask('Close')).catch(() => {});
    await browser?.close();
  } finally {
    await sideBar?.stop();
    fs.rmSync(work, {recursive: true, force: true});
  }
});

async function storedSwitch(name) {
  const {stdout} = await promisify(execFile)(wine, ['reg', 'query', 'HKCU\\SOFTWARE\\VuqAppMgr\\Velmora', '/v', name])
      .catch(() => ({stdout: ''}));
  const found = /REG_DWORD\s+0x([0-9a-f]+)/i.exec(stdout);
  return found ? parseInt(found[1], 16) : null;
}

// One raw HTTP exchange with the bridge: exactly these bytes out, the status line back.
function exchange(bytes, {waitMs = 15000} = {}) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(Number(new URL(origin).port), '127.0.0.1');
    let answer = '';
    socket.setTimeout(waitMs, () => {
      socket.destroy();
      reject(new Error('no answer'));
    });
    socket.on('connect', () => socket.write(bytes));
    socket.on('data', (chunk) => {
      answer += chunk.toString('latin1');
      if (answer.includes('\r\n')) {
        socket.destroy();
        resolve(Number(answer.split(' ')[1]));
      }
    });
    // A refusal may reset the connection while the rest of the request is still being sent.
    socket.on('close', () => resolve(answer ? Number(answer.split(' ')[1]) : 0));
    socket.on('error', (error) => (answer ? resolve(Number(answer.split(' ')[1])) : reject(error)));
  });
}

function request({method = 'GET', target, host, headers = {}, body}) {
  const lines = [`${method} ${target} HTTP/1.1`, `Host: ${host ?? new URL(origin).host}`];
  for (const [name, value] of Object.entries(headers)) lines.push(`${name}: ${value}`);
  if (body !== undefined) lines.push(`Content-Length: ${Buffer.byteLength(body)}`);
  return lines.join('\r\n') + '\r\n\r\n' + (body ?? '');
}

test('the page shows itself at the side bar size, filled in through the commands', async () => {
  assert.equal(await page.evaluate(() => document.documentElement.dataset.shellBounds.split(' ').slice(2).join('x')), '360x640');
  assert.deepEqual(page.viewportSize(), {width: 360, height: 640});
  await page.screenshot({path: path.join(artefacts, 'side-bar.png')});
  // Answered by the product today: settings, the account, the encryption.
  assert.equal(await page.locator('#auto-hide').isDisabled(), false);
  assert.equal(await page.textContent('#account-name'), 'Not signed in');
  assert.match(await page.textContent('#crypto'), /sealed for the service .*opened from the service: “Hello from the page service”/);
  // Providers that do not answer are said to be missing, not left waiting.
  for (const id of ['#weather', '#recommended', '#programs', '#system']) {
    assert.notEqual(await page.getAttribute(id, 'data-state'), 'waiting', id);
  }
});

test('the settings switch changes the stored switch', async () => {
  const box = page.locator('#auto-hide');
  const before = await box.isChecked();
  for (const wanted of [!before, before]) {
    await box.click();
    await page.waitForFunction(() => document.documentElement.dataset.settings === 'ready');
    assert.equal(await box.isChecked(), wanted);
    assert.equal(await storedSwitch('sidebar_autohide'), wanted ? 1 : 0);
  }
});

test('a sign-in through the login stand-in shows the name', async () => {
  fs.writeFileSync(signInSignal, '');
  await page.waitForFunction(() => document.getElementById('account').dataset.state === 'signed-in', null, {timeout: 30000});
  assert.equal(await page.textContent('#account-name'), 'Ann Example');
  await page.screenshot({path: path.join(artefacts, 'side-bar-signed-in.png')});
});

test('the weather shows the weather service\'s city', async () => {
  // The weather worker fetches once as the side bar starts: the report may not be cached yet when
  // the page first asks.
  let code = null;
  for (let i = 0; i < 20 && code !== 0; ++i) {
    if (i) await sleep(500);
    code = await page.evaluate(async () => {
      const {answered, value} = await window.sideBar.ask('getWeather');
      return answered && value ? value.code : null;
    });
  }
  assert.equal(code, 0, 'getWeather never answered with a cached report');
  await page.waitForFunction(() => document.getElementById('weather').dataset.state === 'ready', null, {timeout: 30000});
  assert.equal(await page.textContent('#weather-city'), kServiceCity);
});

test('OpenUrl does not open a file: address', async () => {
  const opened = (address) => readLog(sideBar.log).some((line) => !line.startsWith('shell ') && line.includes(address));
  const refused = 'file:///C:/windows/win.ini';
  const allowed = 'http://127.0.0.1:9/velmora-open-check';
  await page.evaluate(([first, second]) => {
    window.sideBar.tell('OpenUrl', {url: first});
    window.sideBar.tell('OpenUrl', {url: second});
  }, [refused, allowed]);
  // Calls run in order: once the second address has been opened, the first was handled.
  for (let i = 0; i < 300 && !opened(allowed); ++i) await sleep(100);
  assert.ok(opened(allowed), 'an http address is opened outside (the check can see an opening)');
  assert.equal(opened(refused), false);
});

test('only the side bar\'s own page gets in', async () => {
  const session = 'not-the-page-session';  // the page's own one never leaves the page
  const call = (headers, body = 'IsInClient\n["",""]') => request({method: 'POST', target: `/${token}/__shell/call`, headers, body});
  const own = {Origin: origin, 'X-Shell-Session': session};
  const wrongToken = '0'.repeat(32);
  // A stalled request, open the whole time: it must hold up nothing else.
  const stalled = net.connect(Number(new URL(origin).port), '127.0.0.1');
  stalled.write(`GET /${token}/index.html HTTP/1.1\r\nHost: 127`);
  const stalledClosed = new Promise((resolve) => stalled.on('close', () => resolve(Date.now())));
  const startedStall = Date.now();

  const cases = [
    ['the page itself', request({target: `/${token}/index.html`}), 200],
    ['a wrong token', request({target: `/${wrongToken}/index.html`}), 403],
    ['no token', request({target: '/index.html'}), 403],
    ['a page session with a wrong token', request({target: `/${wrongToken}/__shell/events`}), 403],
    ['a call with a wrong token', request({method: 'POST', target: `/${wrongToken}/__shell/call`, headers: own, body: 'Close'}), 403],
    ['a foreign Origin on a call', call({...own, Origin: 'http://evil.example'}), 403],
    ['a call without an Origin', call({'X-Shell-Session': session}), 403],
    ['a foreign Origin on a file', request({target: `/${token}/index.html`, headers: {Origin: 'http://127.0.0.1:1'}}), 403],
    ['a request from another site', request({target: `/${token}/index.html`, headers: {'Sec-Fetch-Site': 'cross-site'}}), 403],
    ['another Host (DNS rebinding)', request({target: `/${token}/index.html`, host: `evil.example:${new URL(origin).port}`}), 403],
    ['a second page session', request({target: `/${token}/__shell/events`}), 409],
    ['a call outside the page session', call(own), 409],
    ['a body over the cap', call(own, 'x'.repeat(1024 * 1024 + 1)), 413],
    ['a call without a length', `POST /${token}/__shell/call HTTP/1.1\r\nHost: ${new URL(origin).host}\r\nOrigin: ${origin}\r\n\r\n`, 411],
    ['a malformed request line', `GET /${token}/index.html\r\nHost: ${new URL(origin).host}\r\n\r\n`, 400],
    ['a header without a colon', `GET /${token}/index.html HTTP/1.1\r\nHost ${new URL(origin).host}\r\n\r\n`, 400],
    ['a head over the cap', request({target: `/${token}/index.html`, headers: {'X-Filler': 'x'.repeat(20000)}}), 431],
    ['a path up and out', request({target: `/${token}/../Velmora.exe`}), 400],
    ['an encoded path up and out', request({target: `/${token}/%2e%2e/Velmora.exe`}), 400],
    ['a backslash path', request({target: `/${token}/..%5cVelmora.exe`}), 400],
    ['an icon path up and out', request({target: `/${token}/__shell/icon/..%2f..%2fVelmora.exe`}), 400],
    ['an icon that is not a PNG of the icon folder', request({target: `/${token}/__shell/icon/abc.png`}), 404],
    ['an icon of the icon folder', request({target: `/${token}/__shell/icon/${'a'.repeat(32)}.png`}), 200],
  ];
  const icons = path.join(sideBar.appdata, 'Vuqsafe', 'Velmora', 'Icon');
  fs.mkdirSync(icons, {recursive: true});
  fs.writeFileSync(path.join(icons, `${'a'.repeat(32)}.png`), 'not really a picture');
  for (const [what, bytes, status] of cases) {
    assert.equal(await exchange(bytes), status, what);
  }
  // The page still works while the stalled request waits; the stalled one is dropped in time.
  assert.equal(await page.evaluate(async () => (await window.sideBar.ask('IsInClient')).answered), true);
  const closedAt = await Promise.race([stalledClosed, sleep(30000).then(() => 0)]);
  assert.ok(closedAt > 0 && closedAt - startedStall < 20000, 'the stalled request was dropped');
  const refusals = readLog(sideBar.log).filter((line) => / bridge refused /.test(line));
  assert.ok(refusals.length >= cases.length - 2, 'every refusal is written to the log');
});

test('a page that leaves and comes back gets a fresh session', async () => {
  await page.close();
  // The old session ends once the browser has gone; then a new page is let in.
  page = await openPage(browser, sideBar.address);
  assert.equal(await page.evaluate(() => document.documentElement.dataset.shellSession), 'open');
  assert.equal(await page.evaluate(async () => (await window.sideBar.ask('IsInClient')).answered), true);
  const sessions = readLog(sideBar.log).filter((line) => / bridge session \d+ opened/.test(line));
  assert.equal(sessions.length, 2);
});
