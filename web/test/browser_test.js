// The web board in headless chromium (Debian's /usr/bin/chromium), driven as
// a person uses it: clicks, keys, a pasted move list, a link. Run by
// `make web-test` after `make web` and the native build (the benchmark
// comparison runs build/kq2-bench). Screenshots go to build-web/screenshots/.
'use strict';
const { chromium } = require('playwright-core');
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { serve } = require('../serve.js');

const ROOT = path.resolve(__dirname, '../..');
const SITE = path.join(ROOT, 'build-web/site');
const SHOTS = path.join(ROOT, 'build-web/screenshots');
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
const BENCH_DEPTH = 4;
const REPLY_SLACK_MS = 100; // page and worker messaging over the engine's budget

let base;
let browser;
let context;
const consoleErrors = [];
const failures = [];

function check(ok, what) {
  if (!ok) throw new Error(what);
}

async function openPage(hash) {
  const page = await context.newPage();
  page.on('console', (m) => {
    if (m.type() === 'error') consoleErrors.push(m.text());
  });
  page.on('pageerror', (e) => consoleErrors.push(e.message));
  await page.goto(`${base}#${hash}`);
  await settled(page);
  return page;
}

// The referee has answered for the shown position and kq2 is not playing.
async function settled(page, timeout = 20000) {
  await page.waitForFunction(() => window.kq.state.inspected && !window.kq.state.thinking,
                             null, { timeout });
}

// What a person sees: every stone with its colour, the last-move mark, the
// forbidden marks and the status line.
function board(page) {
  return page.evaluate(() => ({
    stones: [...document.querySelectorAll('circle.stone:not(.ghost)')]
      .map((c) => `${c.dataset.point}:${c.dataset.colour}`).sort().join(' '),
    last: [...document.querySelectorAll('circle.last')].map((c) => `${c.getAttribute('cx')},${c.getAttribute('cy')}`).join(),
    fouls: [...document.querySelectorAll('.foul')].map((f) => f.dataset.point).sort().join(' '),
    status: document.getElementById('status').textContent,
  }));
}

// Equal boards; the status line may differ (stepping through says so).
const same = (a, b) => JSON.stringify({ ...a, status: 0 }) === JSON.stringify({ ...b, status: 0 });

async function playsAWholeGame() {
  const page = await openPage('rule=4&you=black&moves=');
  await page.selectOption('#time', '300');
  let seed = 12345;
  const random = () => (seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648;
  for (let turn = 0; turn < 120; ++turn) {
    await settled(page, 10000);
    if (await page.evaluate(() => document.getElementById('status').classList.contains('over')))
      break;
    // A legal move near the stones, chosen at random: empty, not marked forbidden.
    const choices = await page.evaluate(() => {
      const { state } = window.kq;
      const taken = new Set(state.game.slice(0, state.shown));
      const out = [];
      for (let s = 0; s < 240; ++s) {
        if ((s & 15) === 15 || taken.has(s) || state.fouls[s]) continue;
        const near = [...taken].some((t) => Math.abs((t & 15) - (s & 15)) <= 1 && Math.abs((t >> 4) - (s >> 4)) <= 1);
        if (near || taken.size === 0) out.push('abcdefghijklmno'[s & 15] + ((s >> 4) + 1));
      }
      return out;
    });
    await page.click(`.hit[data-point="${choices[Math.floor(random() * choices.length)]}"]`);
  }
  const status = await page.textContent('#status');
  check(/Five in a row|Forbidden move/.test(status), `the game did not end with a five or foul: "${status}"`);
  const replies = await page.evaluate(() => window.kq.replies);
  check(replies.length >= 3, `only ${replies.length} replies`);
  const late = replies.filter((r) => r.ms > r.budget + REPLY_SLACK_MS);
  check(late.length === 0, `replies over their time: ${JSON.stringify(late)}`);
  await page.screenshot({ path: path.join(SHOTS, 'play.png') });
  console.log(`  ${replies.length} replies, slowest ${Math.max(...replies.map((r) => r.ms)).toFixed(0)} ms of 300; ${status}`);
  await page.close();
}

// Black h8 i8 j9 j10: j8 makes two open threes.
async function refusesADoubleThree() {
  const page = await openPage('rule=4&you=black&moves=h8+a1+i8+a3+j9+a5+j10+a7');
  const before = await board(page);
  const foul = await page.getAttribute('.foul[data-point="j8"]', 'data-foul');
  check(foul === 'double three', `j8 is marked "${foul}"`);
  await page.click('.hit[data-point="j8"]');
  const after = await board(page);
  check(/j8 is forbidden for black: double three/.test(after.status), `click on j8: "${after.status}"`);
  check(after.stones === before.stones, 'a stone was placed on the forbidden point');
  await page.screenshot({ path: path.join(SHOTS, 'forbidden.png') });
  // A game record whose last move is that foul is announced as lost for black.
  const fouled = await openPage('rule=4&you=white&moves=h8+a1+i8+a3+j9+a5+j10+a7+j8');
  const verdict = await fouled.textContent('#status');
  check(verdict === "Forbidden move: black's j8 is a double three; white wins.", `the foul: "${verdict}"`);
  await fouled.close();
  // Under the free rule the same point is an ordinary move.
  await page.selectOption('#rule', '0');
  await settled(page);
  check((await board(page)).fouls === '', 'forbidden points marked under the free rule');
  await page.close();
}

async function undoRedoAndKeysRestoreThePosition() {
  const page = await openPage('rule=4&you=black&moves=h8+h9+i10+g8');
  await page.selectOption('#time', '300');
  const start = await board(page);
  await page.click('.hit[data-point="j11"]');
  await settled(page);
  const played = await board(page);
  check(played.stones.split(' ').length === 6, `after a move and a reply: ${played.stones}`);
  await page.click('#undo');
  await settled(page);
  check(same(await board(page), start), 'undo did not restore the position before the move');
  await page.click('#redo');
  await settled(page);
  check(same(await board(page), played), 'redo did not restore the position after the reply');
  await page.keyboard.press('ArrowLeft');
  await page.keyboard.press('ArrowLeft');
  await settled(page);
  check((await board(page)).stones === start.stones, 'two steps back differ from the start');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowRight');
  await settled(page);
  check(same(await board(page), played), 'two steps forward differ from the end');
  await page.close();
}

// Swapping on an empty board gives kq2 black: it opens at the centre.
async function swapSidesHandsTheMoveToKq2() {
  const page = await openPage('rule=4&you=black&moves=');
  await page.click('#swap');
  await page.waitForFunction(() => window.kq.state.shown === 1, null, { timeout: 5000 });
  await settled(page);
  const after = await board(page);
  check(after.stones === 'h8:black', `after the swap: ${after.stones}`);
  check(after.status === 'Your move (white).', `after the swap: "${after.status}"`);
  check(page.url().includes('you=white'), 'the link does not carry the side');
  await page.close();
}

async function pastedListAndLinkGiveTheSameBoard() {
  const page = await openPage('rule=4&you=black&moves=');
  const list = 'h8 h9 i10 g8 j11, k12 i9i8';
  // Pasted over the selected list: the page loads it on the paste.
  await page.evaluate((text) => navigator.clipboard.writeText(text), list);
  await page.click('#movelist');
  await page.keyboard.press('Control+A');
  await page.keyboard.press('Control+V');
  await page.waitForFunction(() => window.kq.state.shown === 8, null, { timeout: 5000 });
  await settled(page);
  const pasted = await board(page);
  check(pasted.stones.split(' ').length === 8, `the list gave ${pasted.stones}`);
  const link = page.url();
  const other = await openPage(link.split('#')[1]);
  check(same(await board(other), pasted), 'the link shows another board than the pasted list');
  check(await other.inputValue('#movelist') === 'h8 h9 i10 g8 j11 k12 i9 i8', 'the link\'s move list');
  await page.fill('#movelist', 'h8 h8');
  await page.click('#load');
  check(/Cannot read/.test(await page.textContent('#status')), 'a repeated square was loaded');
  await other.close();
  await page.close();
}

async function analysisShowsALineAndStops() {
  const page = await openPage('rule=4&you=white&moves=h8+h9+i10+g8+j11');
  await page.evaluate(() => thinker.ready); // the page has loaded its engine
  // Timed in the page, from the mode's change to the first ghost stone drawn.
  await page.evaluate(() => {
    const timing = (window.timing = {});
    document.getElementById('mode').addEventListener('change', () => { timing.start = performance.now(); }, true);
    new MutationObserver(() => {
      if (!timing.line && document.querySelector('circle.ghost')) timing.line = performance.now();
    }).observe(document.getElementById('board'), { childList: true, subtree: true });
  });
  await page.selectOption('#mode', 'analyse');
  await page.waitForFunction(() => window.timing.line, null, { timeout: 10000 });
  const firstLine = await page.evaluate(() => window.timing.line - window.timing.start);
  check(firstLine <= 2000, `the first best line came after ${firstLine.toFixed(0)} ms`);
  await page.waitForFunction(() => document.querySelectorAll('#a-top li').length === 3, null, { timeout: 10000 });
  await page.waitForTimeout(1000);
  await page.screenshot({ path: path.join(SHOTS, 'analysis.png') });
  await page.click('#analysis-toggle');
  const stopped = await page.textContent('#analysis-state');
  check(stopped === 'stopped', `after Stop: "${stopped}"`);
  const depth = await page.textContent('#a-depth');
  await page.waitForTimeout(1500);
  check(await page.textContent('#a-depth') === depth, 'the depth still changes after Stop');
  check(!(await page.evaluate(() => window.kq.state.analysisRunning)), 'still running after Stop');
  console.log(`  first best line after ${firstLine.toFixed(0)} ms; stopped at depth ${depth}`);
  await page.close();
}

// kq2-bench's positions at a fixed depth, natively and in the browser, with
// the native tables' size: the same moves and the same node total.
async function sameMovesAsNative() {
  const native = execFileSync(path.join(ROOT, 'build/kq2-bench'), [String(BENCH_DEPTH)]).toString();
  const nativeMoves = [...native.matchAll(/^\s*\d+ move (\w\w)/gm)].map((m) => m[1]);
  const nativeNodes = Number(/^bench: (\d+)/m.exec(native)[1]);
  const nativeSpeed = Number(/nodes\/s/.test(native) && /: (\d+) nodes\/s/.exec(native)[1]);
  const page = await openPage('moves=');
  const web = await page.evaluate(async (depth) => {
    const worker = new EngineWorker('bench');
    await worker.ready;
    const result = await worker.request({ op: 'bench', depth, memory: 350 });
    worker.worker.terminate();
    return result;
  }, BENCH_DEPTH);
  await page.close();
  check(web.moves.join() === nativeMoves.join(), `moves differ: native ${nativeMoves}, browser ${web.moves}`);
  check(web.nodes === nativeNodes, `node totals differ: native ${nativeNodes}, browser ${web.nodes}`);
  const webSpeed = web.nodes / web.ms * 1000;
  console.log(`  ${web.moves.length} positions, same moves, bench ${web.nodes}; ` +
              `speed browser ${Math.round(webSpeed)} nodes/s, native ${nativeSpeed} nodes/s ` +
              `(${(webSpeed / nativeSpeed).toFixed(2)} of native)`);
}

const TESTS = [
  playsAWholeGame,
  refusesADoubleThree,
  undoRedoAndKeysRestoreThePosition,
  swapSidesHandsTheMoveToKq2,
  pastedListAndLinkGiveTheSameBoard,
  analysisShowsALineAndStops,
  sameMovesAsNative,
];

(async () => {
  fs.mkdirSync(SHOTS, { recursive: true });
  const server = await serve(SITE, 0);
  base = `http://127.0.0.1:${server.address().port}/`;
  browser = await chromium.launch({ executablePath: CHROMIUM, args: ['--no-sandbox'] });
  context = await browser.newContext({ viewport: { width: 1100, height: 780 } });
  await context.grantPermissions(['clipboard-read', 'clipboard-write'], { origin: base });
  const only = process.argv[2];
  for (const test of TESTS) {
    if (only && test.name !== only) continue;
    const t0 = Date.now();
    try {
      await test();
      console.log(`ok   ${test.name} (${((Date.now() - t0) / 1000).toFixed(1)} s)`);
    } catch (e) {
      failures.push(test.name);
      console.log(`FAIL ${test.name}: ${e.message.split('\n')[0]}`);
    }
  }
  if (consoleErrors.length) {
    failures.push('console');
    console.log(`FAIL console errors:\n  ${consoleErrors.join('\n  ')}`);
  }
  await browser.close();
  server.close();
  console.log(failures.length ? `web-test: ${failures.length} failed` : 'web-test: ok');
  process.exit(failures.length ? 1 : 0);
})();
