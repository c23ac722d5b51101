// serve.mjs - a small static web server for the browser build, on 127.0.0.1
// only, with the headers that make the page cross-origin isolated (COOP and
// COEP: the page then loads the threaded variant) and gzip for clients that
// ask for it. --not-isolated leaves those headers out, as a plain static
// server would, and the page plays on one thread.
//
//   node web/serve.mjs FOLDER [--port N] [--mount /prefix=FOLDER]... [--not-isolated]
//
// Port 0 picks a free one; the first line printed is the page's address.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize, resolve } from 'node:path';
import { gzipSync } from 'node:zlib';

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.data': 'application/octet-stream', '.png': 'image/png',
  '.json': 'application/json', '.txt': 'text/plain; charset=utf-8',
};

// Reads the command line: the root folder, the port and extra mounted folders.
export function parseArguments(argv) {
  const options = { root: null, port: 8080, mounts: [], isolated: true };
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === '--port') options.port = Number(argv[++i]);
    else if (argv[i] === '--not-isolated') options.isolated = false;
    else if (argv[i] === '--mount') {
      const [prefix, folder] = argv[++i].split('=');
      options.mounts.push({ prefix: prefix.replace(/\/$/, '') + '/', folder: resolve(folder) });
    } else options.root = resolve(argv[i]);
  }
  return options;
}

// The file a request path names, or null when it would leave its folder.
export function fileFor(options, urlPath) {
  let path = decodeURIComponent(urlPath.split('?')[0]);
  let folder = resolve(options.root);
  for (const m of options.mounts)
    if (path.startsWith(m.prefix)) {
      folder = resolve(m.folder);
      path = path.slice(m.prefix.length - 1);
    }
  if (path.endsWith('/')) path += 'index.html';
  const file = normalize(join(folder, path));
  return file.startsWith(folder + '/') ? file : null;
}

// Starts serving; resolves to the server once it listens. options.counted,
// when given, hears the size of every body sent.
export function serve(options) {
  const server = createServer(async (request, reply) => {
    const headers = { 'Cache-Control': 'no-cache' };
    if (options.isolated !== false) {
      headers['Cross-Origin-Opener-Policy'] = 'same-origin';
      headers['Cross-Origin-Embedder-Policy'] = 'require-corp';
      headers['Cross-Origin-Resource-Policy'] = 'same-origin';
    }
    const file = fileFor(options, request.url);
    try {
      if (!file || !(await stat(file)).isFile()) throw new Error('not a file');
      let body = await readFile(file);
      headers['Content-Type'] = types[extname(file)] || 'application/octet-stream';
      if (/\bgzip\b/.test(request.headers['accept-encoding'] || '')) {
        body = gzipSync(body, { level: 6 });
        headers['Content-Encoding'] = 'gzip';
      }
      headers['Content-Length'] = body.length;
      if (options.counted) options.counted(body.length);
      reply.writeHead(200, headers);
      reply.end(request.method === 'HEAD' ? undefined : body);
    } catch {
      reply.writeHead(404, { ...headers, 'Content-Type': 'text/plain' });
      reply.end('not found\n');
    }
  });
  return new Promise((done) => server.listen(options.port, '127.0.0.1', () => done(server)));
}

if (import.meta.url === `file://${process.argv[1]}`) {
  const options = parseArguments(process.argv.slice(2));
  if (!options.root) {
    console.error('usage: node web/serve.mjs FOLDER [--port N] [--mount /prefix=FOLDER] [--not-isolated]');
    process.exit(2);
  }
  const server = await serve(options);
  console.log(`http://127.0.0.1:${server.address().port}/`);
}
