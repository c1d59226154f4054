// scripts/run's side bar: starts Velmora.exe as a user would (through its relaunches), installed
// with the build's stand-ins, the stand-in shell in bridge mode and the loopback services; takes
// a headless screenshot of the page, prints its path and what the program did to the shell, and
// ends the side bar. With --browser it then keeps the side bar running and prints the page's
// address for a person's own browser, until Ctrl+C.
//
//   node show_side_bar.mjs --build <folder> --wine <loader> --shot <png> [--browser] [--pe32]
//                          [--since <ms since 1970>]
//
// --pe32: the build's programs are 32-bit (they may run under emulation: a few seconds more).
// --since: when the caller started, for the times printed (default: now).
import fs from 'node:fs';
import path from 'node:path';
import {parseArgs} from 'node:util';

import {launchChromium, openPage, sleep, startSideBar, windowsPath} from './side_bar_run.mjs';

const {values: options} = parseArgs({options: {
  build: {type: 'string'}, wine: {type: 'string'}, shot: {type: 'string'},
  browser: {type: 'boolean', default: false}, pe32: {type: 'boolean', default: false}, since: {type: 'string'},
}});
const started = Number(options.since) || Date.now();
const seconds = () => ((Date.now() - started) / 1000).toFixed(1);
const work = path.join(path.dirname(options.shot), 'work');
fs.rmSync(work, {recursive: true, force: true});
const stopSignal = path.join(work, 'stop');

// The side bar closes itself when the shell reports that it is closing (event 13), once asked.
// Ctrl+C (SIGINT) and SIGTERM end the run at any point; before the page is served they only
// stop the wait, and the start's processes and the registry are put back all the same.
const chromium = launchChromium();
chromium.catch(() => {});  // awaited below, once the side bar serves its page
const stopping = new AbortController();
let sideBar = null;
let ending = false;
async function end(code) {
  if (ending) return;
  ending = true;
  fs.writeFileSync(stopSignal, '');
  await sideBar.stop(30000);
  console.log('--- what the program did to the browser shell ---');
  console.log(sideBar.transcript().join('\n'));
  console.log(`side bar ended after ${seconds()} s; its page: ${options.shot}`);
  process.exit(code);
}
for (const name of ['SIGINT', 'SIGTERM']) process.on(name, () => (sideBar ? end(0) : stopping.abort()));
try {
  sideBar = await startSideBar({
    build: options.build, wine: options.wine, work, is32bit: options.pe32, recent: true,
    addressTimeoutMs: (options.pe32 ? 5 : 3) * 60000, signal: stopping.signal,
    page: [`waitfor ${windowsPath(stopSignal)}`, 'event 13'],
  });
} catch (error) {
  console.error(`the side bar did not serve its page: ${error.message}`);
  process.exit(1);
}

try {
  const browser = await chromium;
  const page = await openPage(browser, sideBar.address);
  // The weather worker's first report may come a moment after the page has asked.
  await page.waitForFunction(() => document.getElementById('weather')?.dataset.state === 'ready', null, {timeout: 5000})
    .catch(() => {});
  await page.screenshot({path: options.shot});
  await browser.close();
  console.log(`screenshot of the side bar's page: ${options.shot} (after ${seconds()} s)`);
} catch (error) {
  console.error(`the page could not be shown: ${error.message}`);
  await end(1);
}

if (options.browser) {
  console.log(`the side bar runs; open its page in your browser (127.0.0.1 only):\n  ${sideBar.address}`);
  console.log('Ctrl+C ends the side bar.');
  for (;;) {
    await sleep(1000);
    if (sideBar.ended()) {
      console.log('the side bar has ended.');
      await end(0);
    }
  }
}
await end(0);
