// The engine's Web Worker: one kq2 instance (kq2.js + kq2.wasm, the module
// compiled once by the page and handed over) and the calls the page makes.
//
// Every request carries the whole move list (engine Squares) and the rule.
// Replies carry the request's id. A think cannot be interrupted here: the
// worker has no shared memory with the page, so the page ends an unwanted
// think by terminating the worker and starting a fresh one.
//
// Requests:
//   {op: 'inspect', moves, rule}     -> {last: verdict of the last move, fouls: [256]}
//   {op: 'think', moves, rule, ms}   -> {move, report, ms}
//   {op: 'analyse', moves, rule}     -> a stream of {kind: 'iteration' | 'top' | 'done'}
//   {op: 'bench', depth, memory}     -> the benchmark's JSON
'use strict';

importScripts('kq2.js');

const MEMORY_MB = 64;
const TOP_OTHERS = 4; // candidates searched besides the best move, for the three best

let engine = null;
let rule = -1;
const queue = [];

function setPosition(moves, newRule) {
  if (newRule !== rule) {
    engine._kq_set_rule(newRule);
    rule = newRule;
  }
  const at = engine._kq_moves();
  engine.HEAPU8.set(moves.slice(0, 225), at);
  return Math.min(moves.length, 225);
}

function report() {
  return JSON.parse(engine.UTF8ToString(engine._kq_report()));
}

function inspect(msg) {
  const n = setPosition(msg.moves, msg.rule);
  const last = n > 0 ? engine._kq_verdict(n - 1, msg.moves[n - 1]) : 0;
  const at = engine._kq_fouls(n);
  return { last, fouls: Array.from(engine.HEAPU8.subarray(at, at + 256)) };
}

function think(msg) {
  const n = setPosition(msg.moves, msg.rule);
  const t0 = performance.now();
  const move = engine._kq_think(n, msg.ms, 0);
  return { move, report: report(), ms: performance.now() - t0 };
}

// Analysis: thinks of one more ply each time on the same position (the tables
// keep what the shallower ones found), and after each the engine's next
// candidates at one ply less from the opponent's side, for the three best
// moves. Runs until the search can go no deeper or the page ends the worker.
function analyse(msg) {
  const n = setPosition(msg.moves, msg.rule);
  const t0 = performance.now();
  let nodes = 0;
  for (let depth = 1; depth < 100; ++depth) {
    const move = engine._kq_think(n, 0, depth);
    const main = report();
    nodes += main.nodes;
    const elapsed = performance.now() - t0;
    postMessage({ id: msg.id, kind: 'iteration', move, depth, report: main, nodes, ms: elapsed });
    const decided = main.depth === 0 || main.depth < depth || Math.abs(main.value) > 29000;

    const count = engine._kq_candidates(n, TOP_OTHERS + 1);
    const at = engine._kq_candidates_buffer();
    const others = Array.from(engine.HEAPU8.subarray(at, at + count))
      .filter((m) => m !== move)
      .slice(0, TOP_OTHERS);
    const top = [{ move, value: main.value }];
    for (const m of others) {
      engine.HEAPU8[engine._kq_moves() + n] = m;
      engine._kq_think(n + 1, 0, Math.max(1, depth - 1));
      const r = report();
      nodes += r.nodes;
      top.push({ move: m, value: -r.value });
    }
    top.sort((a, b) => b.value - a.value || (a.move === move ? -1 : b.move === move ? 1 : 0));
    postMessage({
      id: msg.id,
      kind: 'top',
      depth,
      top: top.slice(0, 3),
      nodes,
      ms: performance.now() - t0,
    });
    if (decided) break;
  }
  postMessage({ id: msg.id, kind: 'done', nodes, ms: performance.now() - t0 });
}

function handle(msg) {
  switch (msg.op) {
    case 'inspect':
      postMessage({ id: msg.id, ...inspect(msg) });
      break;
    case 'think':
      postMessage({ id: msg.id, ...think(msg) });
      break;
    case 'analyse':
      analyse(msg);
      break;
    case 'bench':
      postMessage({ id: msg.id, ...JSON.parse(engine.UTF8ToString(engine._kq_bench(msg.depth, msg.memory))) });
      break;
    default:
      postMessage({ id: msg.id, error: 'unknown request ' + msg.op });
  }
}

onmessage = (event) => {
  const msg = event.data;
  if (msg.op === 'start') {
    createKq2({
      instantiateWasm(imports, done) {
        WebAssembly.instantiate(msg.module, imports).then((instance) => done(instance));
        return {};
      },
    }).then((instance) => {
      engine = instance;
      if (!engine._kq_init(MEMORY_MB)) {
        postMessage({ kind: 'failed' });
        return;
      }
      postMessage({ kind: 'ready' });
      while (queue.length) handle(queue.shift());
    });
    return;
  }
  if (engine) handle(msg);
  else queue.push(msg);
};
