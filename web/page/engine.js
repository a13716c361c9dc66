// The page's side of the engine workers (worker.js). The module is fetched and
// compiled once; every worker gets the compiled module, so a restart costs an
// instantiation and the engine's set-up, not a download.
'use strict';

const wasmModule = WebAssembly.compileStreaming(fetch('kq2.wasm'));

class EngineWorker {
  constructor(name) {
    this.name = name;
    this.nextId = 1;
    this.pending = new Map(); // id -> {resolve, onEvent}
    this.start();
  }

  start() {
    const worker = new Worker('worker.js');
    this.worker = worker;
    this.ready = new Promise((resolve, reject) => {
      worker.onmessage = (event) => {
        const msg = event.data;
        if (msg.kind === 'ready') return resolve();
        if (msg.kind === 'failed') return reject(new Error(`${this.name}: engine set-up failed`));
        const entry = this.pending.get(msg.id);
        if (!entry) return;
        if (entry.onEvent) {
          entry.onEvent(msg);
          if (msg.kind === 'done') this.pending.delete(msg.id);
        } else {
          this.pending.delete(msg.id);
          entry.resolve(msg);
        }
      };
    });
    worker.onerror = (event) => {
      console.error(`${this.name}: ${event.message}`);
      setStatusError(`${this.name}: ${event.message}`);
    };
    wasmModule.then((module) => worker.postMessage({ op: 'start', module }));
  }

  // One request, one reply.
  request(msg) {
    const id = this.nextId++;
    return new Promise((resolve) => {
      this.pending.set(id, { resolve });
      this.worker.postMessage({ ...msg, id });
    });
  }

  // A request answered by a stream of events (analysis).
  stream(msg, onEvent) {
    const id = this.nextId++;
    this.pending.set(id, { onEvent });
    this.worker.postMessage({ ...msg, id });
    return id;
  }

  // Ends whatever the worker is doing: its pending requests are dropped, never
  // answered, and a fresh worker takes its place.
  restart() {
    this.worker.terminate();
    this.pending.clear();
    this.start();
  }
}

function setStatusError(text) {
  const status = document.getElementById('status');
  if (status) status.textContent = text;
}
