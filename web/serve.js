// A static file server for the web board on localhost:
//   node web/serve.js FOLDER [PORT]     (port 0: any free port)
// The browser tests start it in-process through serve().
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
};

function serve(folder, port) {
  const root = path.resolve(folder);
  const server = http.createServer((req, res) => {
    const url = decodeURIComponent(new URL(req.url, 'http://localhost').pathname);
    let file = path.join(root, url.endsWith('/') ? url + 'index.html' : url);
    if (!file.startsWith(root + path.sep)) file = path.join(root, 'index.html');
    fs.readFile(file, (err, data) => {
      if (err) {
        res.writeHead(404, { 'Content-Type': 'text/plain' });
        res.end('not found\n');
        return;
      }
      res.writeHead(200, {
        'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream',
        'Cache-Control': 'no-cache',
      });
      res.end(data);
    });
  });
  return new Promise((resolve) => {
    server.listen(port, '127.0.0.1', () => resolve(server));
  });
}

if (require.main === module) {
  const folder = process.argv[2] || 'build-web/site';
  const port = Number(process.argv[3] || 8015);
  if (!fs.existsSync(path.join(folder, 'index.html'))) {
    console.error(`serve: ${folder}/index.html not found (run make web first)`);
    process.exit(1);
  }
  serve(folder, port).then((server) => {
    console.log(`kq2 web board: http://127.0.0.1:${server.address().port}/  (Ctrl-C to stop)`);
  });
}

module.exports = { serve };
