// The board page: the game, its display and the controls. kq2 runs in two
// workers (engine.js): the referee answers at once about every shown position
// (black's fouls, what the last move did), the thinker plays and analyses and
// is restarted whenever a think is no longer wanted.
//
// Squares are the engine's: row * 16 + column, row 0 is the bottom row "1",
// column 0 the left column "a"; "h8" is the centre.
'use strict';

const SIZE = 15;
const CELL = 40;
const ORIGIN = 40; // board coordinates of a1's column and o15's row
const COLUMNS = 'abcdefghijklmno';
const WIN = 30000;
const MATE_BOUND = WIN - 1000;
const VERDICT_FIVE = 1;
const VERDICT_FOUL = 2; // + 4 * the foul's kind
const FOUL_NAMES = ['', 'double three', 'double four', 'overline'];
const RULE_RENJU = 4;
const SVG = 'http://www.w3.org/2000/svg';

const state = {
  game: [], // every move of the game; moves past `shown` can be redone
  shown: 0, // moves on the board
  rule: RULE_RENJU,
  human: 'black', // your colour when playing
  timeMs: 1000,
  mode: 'play', // or 'analyse'
  numbers: false,
  inspected: false, // fouls and verdict below belong to the shown position
  fouls: new Array(256).fill(0), // by square: 0 or the kind of black's foul
  verdict: 0, // of the last shown move
  thinking: false, // the thinker works on a move to play
  analysing: false, // analysis wanted (analysis mode, not stopped)
  analysisRunning: false, // the thinker works on an analysis
  analysis: null, // the last iteration: {depth, report, nodes, ms, top}
  refused: -1, // a square just refused, marked until the next change
};
const replies = []; // every reply of kq2 in play: {budget, ms}; read by the tests
window.kq = { state, replies };

const referee = new EngineWorker('referee');
const thinker = new EngineWorker('kq2');
let serial = 0; // bumped on every change; late answers for older ones are dropped

const $ = (id) => document.getElementById(id);

// ---- squares and move lists ----

const squareName = (s) => COLUMNS[s & 15] + ((s >> 4) + 1);
const colourOf = (index) => (index % 2 === 0 ? 'black' : 'white');
const toMove = () => colourOf(state.shown);
const position = () => state.game.slice(0, state.shown);

// Moves written as "h8 h9 i10", with or without spaces or commas; null when the
// text holds anything else, a square twice or a square off the board.
function parseMoves(text) {
  const moves = [];
  const rest = text.toLowerCase().replace(/([a-o])(1[0-5]|[1-9])/g, (all, column, row) => {
    moves.push((Number(row) - 1) * 16 + COLUMNS.indexOf(column));
    return ' ';
  });
  if (/[^\s,;.]/.test(rest)) return null;
  if (new Set(moves).size !== moves.length || moves.length > SIZE * SIZE) return null;
  return moves;
}

const movesText = (moves) => moves.map(squareName).join(' ');

function formatValue(v) {
  if (v > MATE_BOUND) return `win in ${WIN - v}`;
  if (v < -MATE_BOUND) return `loss in ${WIN + v}`;
  return (v > 0 ? '+' : '') + v;
}

// ---- the board ----

const at = (s) => ({ x: ORIGIN + (s & 15) * CELL, y: ORIGIN + (SIZE - 1 - (s >> 4)) * CELL });

function svg(tag, attrs, parent, text) {
  const node = document.createElementNS(SVG, tag);
  for (const [k, v] of Object.entries(attrs)) node.setAttribute(k, v);
  if (text !== undefined) node.textContent = text;
  parent.appendChild(node);
  return node;
}

let layer; // stones and marks, redrawn on every change
let hits; // the click targets, on top

function drawGrid() {
  const board = $('board');
  const far = ORIGIN + (SIZE - 1) * CELL;
  for (let i = 0; i < SIZE; ++i) {
    const p = ORIGIN + i * CELL;
    svg('line', { class: 'line', x1: ORIGIN, y1: p, x2: far, y2: p }, board);
    svg('line', { class: 'line', x1: p, y1: ORIGIN, x2: p, y2: far }, board);
    svg('text', { class: 'coord', x: p, y: far + 30 }, board, COLUMNS[i]);
    svg('text', { class: 'coord', x: ORIGIN - 28, y: ORIGIN + (SIZE - 1 - i) * CELL }, board, i + 1);
  }
  for (const s of [0x77, 0x33, 0x3b, 0xb3, 0xbb]) {
    const { x, y } = at(s);
    svg('circle', { class: 'star', cx: x, cy: y, r: 4 }, board);
  }
  layer = svg('g', {}, board);
  hits = svg('g', {}, board);
  for (let row = 0; row < SIZE; ++row)
    for (let column = 0; column < SIZE; ++column) {
      const s = row * 16 + column;
      const { x, y } = at(s);
      const hit = svg('rect', {
        class: 'hit', x: x - CELL / 2, y: y - CELL / 2, width: CELL, height: CELL,
        'data-point': squareName(s),
      }, hits);
      hit.addEventListener('click', () => clicked(s));
    }
}

function gameOver() {
  return state.inspected && (state.verdict === VERDICT_FIVE || state.verdict >= VERDICT_FOUL ||
                             state.shown === SIZE * SIZE);
}

function drawStone(s, colour, attrs) {
  const { x, y } = at(s);
  return svg('circle', { cx: x, cy: y, r: 18, ...attrs, class: `${attrs.class} ${colour}` }, layer);
}

function render() {
  layer.replaceChildren();
  const taken = new Set(position());
  position().forEach((s, i) => {
    const colour = colourOf(i);
    drawStone(s, colour, { class: 'stone', 'data-point': squareName(s), 'data-colour': colour });
    const last = i === state.shown - 1;
    const { x, y } = at(s);
    if (state.numbers) {
      const text = svg('text', { class: `number on-${colour}`, x, y }, layer, i + 1);
      if (last) text.setAttribute('style', 'fill: var(--accent)');
    } else if (last) {
      svg('circle', { class: 'last', cx: x, cy: y, r: 5 }, layer);
    }
  });
  if (state.inspected && !gameOver() && toMove() === 'black' && state.rule === RULE_RENJU)
    state.fouls.forEach((kind, s) => {
      if (!kind) return;
      const { x, y } = at(s);
      const d = 7;
      const mark = svg('g', { class: 'foul', 'data-point': squareName(s), 'data-foul': FOUL_NAMES[kind] }, layer);
      svg('line', { x1: x - d, y1: y - d, x2: x + d, y2: y + d }, mark);
      svg('line', { x1: x - d, y1: y + d, x2: x + d, y2: y - d }, mark);
    });
  if (state.mode === 'analyse' && state.analysis) {
    state.analysis.report.pv.forEach((s, i) => {
      if (taken.has(s)) return;
      taken.add(s);
      const colour = colourOf(state.shown + i);
      drawStone(s, colour, { class: 'ghost stone', 'data-ghost': i + 1 });
      const { x, y } = at(s);
      svg('text', { class: `ghost-number number on-${colour}`, x, y }, layer, i + 1);
    });
  }
  if (state.refused >= 0) {
    const { x, y } = at(state.refused);
    svg('circle', { class: 'refused', cx: x, cy: y, r: 16 }, layer);
  }
}

// ---- status and text ----

function setStatus(text, over) {
  $('status').textContent = text;
  $('status').classList.toggle('over', !!over);
}

function showStatus() {
  if (!state.inspected) return setStatus('…');
  if (gameOver()) {
    const last = state.game[state.shown - 1];
    const mover = colourOf(state.shown - 1);
    if (state.verdict === VERDICT_FIVE)
      return setStatus(`Five in a row: ${mover} wins (${squareName(last)}).`, true);
    if (state.verdict >= VERDICT_FOUL) {
      const kind = FOUL_NAMES[(state.verdict - VERDICT_FOUL) >> 2];
      const article = kind === 'overline' ? 'an' : 'a';
      return setStatus(`Forbidden move: black's ${squareName(last)} is ${article} ${kind}; white wins.`, true);
    }
    return setStatus('The board is full: a draw.', true);
  }
  const side = toMove();
  if (state.mode === 'analyse') return setStatus(`Analysis: ${side} to move.`);
  if (state.shown < state.game.length)
    return setStatus(`Move ${state.shown} of ${state.game.length}; ${side} to move. End returns to the last move.`);
  if (side === state.human) return setStatus(`Your move (${side}).`);
  setStatus(`kq2 (${side}) is thinking…`);
}

function showPosition() {
  const moves = position();
  $('movelist').value = movesText(moves);
  const params = new URLSearchParams({ rule: state.rule, you: state.human, moves: movesText(moves) });
  history.replaceState(null, '', '#' + params.toString());
}

function showAnalysis() {
  const a = state.analysis;
  $('analysis-toggle').textContent = state.analysisRunning ? 'Stop' : 'Analyse';
  $('analysis-state').textContent =
    state.analysisRunning ? 'thinking…' : a ? (state.analysing ? 'finished' : 'stopped') : '';
  if (!a) {
    for (const id of ['a-depth', 'a-value', 'a-speed', 'a-line']) $(id).textContent = '–';
    $('a-top').replaceChildren();
    return;
  }
  const r = a.report;
  $('a-depth').textContent = r.depth ? `${r.depth} (deepest ${r.sel})` : `— (${r.reason})`;
  $('a-value').textContent = `${formatValue(r.value)} for ${toMove()}`;
  $('a-speed').textContent = a.ms > 0 ? `${Math.round(a.nodes / a.ms)} k nodes/s` : '–';
  $('a-line').textContent = r.pv.map((s, i) => `${i + 1}.${squareName(s)}`).join(' ');
  $('a-top').replaceChildren(...(a.top || []).map((t) => {
    const li = document.createElement('li');
    li.textContent = `${squareName(t.move)}  ${formatValue(t.value)}`;
    return li;
  }));
}

// ---- the flow of the game ----

// Whatever the thinker does is no longer wanted.
function cancelThink() {
  if (state.thinking || state.analysisRunning) thinker.restart();
  state.thinking = false;
  state.analysisRunning = false;
}

// The shown position changed: ask the referee about it, then go on.
function positionChanged() {
  cancelThink();
  const mine = ++serial;
  state.inspected = false;
  state.analysis = null;
  state.refused = -1;
  showPosition();
  render();
  showStatus();
  showAnalysis();
  referee.request({ op: 'inspect', moves: position(), rule: state.rule }).then((answer) => {
    if (mine !== serial) return;
    state.fouls = answer.fouls;
    state.verdict = answer.last;
    state.inspected = true;
    render();
    proceed();
  });
}

// The next step in the shown position: kq2 plays or analyses, or nothing.
function proceed() {
  showStatus();
  showAnalysis();
  if (!state.inspected || gameOver()) return;
  if (state.mode === 'analyse') {
    if (state.analysing && !state.analysisRunning) analyse();
  } else if (toMove() !== state.human && state.shown === state.game.length && !state.thinking) {
    engineMove();
  }
}

async function engineMove() {
  const mine = serial;
  state.thinking = true;
  await thinker.ready;
  if (mine !== serial || !state.thinking) return;
  const budget = state.timeMs;
  const t0 = performance.now();
  const answer = await thinker.request({ op: 'think', moves: position(), rule: state.rule, ms: budget });
  if (mine !== serial) return;
  state.thinking = false;
  replies.push({ budget, ms: performance.now() - t0 });
  if (answer.move === 255) return setStatus('kq2 has no move.', true);
  play(answer.move);
}

function analyse() {
  const mine = serial;
  state.analysisRunning = true;
  showAnalysis();
  thinker.stream({ op: 'analyse', moves: position(), rule: state.rule }, (event) => {
    if (mine !== serial) return;
    if (event.kind === 'iteration') {
      state.analysis = { ...event, top: state.analysis ? state.analysis.top : [] };
      render();
    } else if (event.kind === 'top' && state.analysis) {
      state.analysis.top = event.top;
      state.analysis.nodes = event.nodes;
      state.analysis.ms = event.ms;
    } else if (event.kind === 'done') {
      state.analysisRunning = false;
    }
    showAnalysis();
  });
}

function play(s) {
  state.game = position();
  state.game.push(s);
  state.shown = state.game.length;
  positionChanged();
}

function clicked(s) {
  if (!state.inspected || state.game.slice(0, state.shown).includes(s)) return;
  if (gameOver()) return setStatus('The game is over: undo, or start a new game.', true);
  if (state.mode === 'play' && toMove() !== state.human)
    return setStatus(`It is kq2's move (${toMove()}).`);
  const kind = toMove() === 'black' ? state.fouls[s] : 0;
  if (kind) {
    state.refused = s;
    render();
    return setStatus(`${squareName(s)} is forbidden for black: ${FOUL_NAMES[kind]}.`);
  }
  play(s);
}

// Steps through the game, one move at a time or (undo, redo) to your turn.
function step(delta, toYourTurn) {
  const target = Math.max(0, Math.min(state.game.length, state.shown + delta));
  if (target === state.shown) return;
  state.shown = target;
  if (toYourTurn && state.mode === 'play' && toMove() !== state.human) {
    const next = state.shown + delta;
    if (next >= 0 && next <= state.game.length) state.shown = next;
  }
  positionChanged();
}

function loadMoves(text, source) {
  const moves = parseMoves(text);
  if (!moves) return setStatus(`Cannot read the moves of the ${source}: write them as h8 h9 i10 …`);
  state.game = moves;
  state.shown = moves.length;
  positionChanged();
}

function loadLink() {
  const params = new URLSearchParams(location.hash.slice(1));
  if (params.has('rule')) {
    const rule = Number(params.get('rule'));
    if ([0, 1, 4].includes(rule)) state.rule = rule;
  }
  if (['black', 'white'].includes(params.get('you'))) state.human = params.get('you');
  $('rule').value = String(state.rule);
  $('side').value = state.human;
  loadMoves(params.get('moves') || '', 'link');
}

async function copyText(text, what) {
  try {
    await navigator.clipboard.writeText(text);
    setStatus(`${what} copied.`);
  } catch {
    setStatus(`${what}: ${text}`);
  }
}

// ---- controls ----

function setMode(mode) {
  cancelThink();
  state.mode = mode;
  state.analysing = mode === 'analyse';
  state.analysis = null;
  $('analysis').hidden = mode !== 'analyse';
  $('side').disabled = $('time').disabled = mode === 'analyse';
  render();
  proceed();
}

function wire() {
  $('mode').addEventListener('change', (e) => setMode(e.target.value));
  $('side').addEventListener('change', (e) => {
    cancelThink();
    state.human = e.target.value;
    showPosition();
    proceed();
  });
  $('time').addEventListener('change', (e) => { state.timeMs = Number(e.target.value); });
  $('rule').addEventListener('change', (e) => {
    state.rule = Number(e.target.value);
    positionChanged();
  });
  $('numbers').addEventListener('change', (e) => {
    state.numbers = e.target.checked;
    render();
  });
  $('new').addEventListener('click', () => {
    state.game = [];
    state.shown = 0;
    positionChanged();
  });
  $('swap').addEventListener('click', () => {
    cancelThink();
    state.human = state.human === 'black' ? 'white' : 'black';
    $('side').value = state.human;
    showPosition();
    proceed();
  });
  $('undo').addEventListener('click', () => step(-1, true));
  $('redo').addEventListener('click', () => step(1, true));
  $('analysis-toggle').addEventListener('click', () => {
    if (state.analysisRunning || state.analysing) {
      state.analysing = false;
      cancelThink();
      showAnalysis();
    } else {
      state.analysing = true;
      state.analysis = null;
      proceed();
    }
  });
  $('load').addEventListener('click', () => loadMoves($('movelist').value, 'move list'));
  $('movelist').addEventListener('paste', () => {
    setTimeout(() => loadMoves($('movelist').value, 'move list'), 0);
  });
  $('copy-moves').addEventListener('click', () => copyText(movesText(position()), 'Moves'));
  $('copy-link').addEventListener('click', () => copyText(location.href, 'Link'));
  window.addEventListener('hashchange', loadLink);
  document.addEventListener('keydown', (e) => {
    const t = e.target;
    if (t.tagName === 'TEXTAREA' || t.tagName === 'SELECT' || (t.tagName === 'INPUT' && t.type !== 'checkbox')) return;
    const moves = { ArrowLeft: -1, ArrowRight: 1, Home: -SIZE * SIZE, End: SIZE * SIZE };
    if (!(e.key in moves)) return;
    e.preventDefault();
    step(moves[e.key], false);
  });
}

drawGrid();
wire();
state.timeMs = Number($('time').value);
loadLink();
