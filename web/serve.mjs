// Serves a static folder on 127.0.0.1 with the types a browser needs for the
// intro's pages (WebAssembly included) and no caching.
//   node web/serve.mjs FOLDER [PORT]    serves until stopped; prints the address
// serve(folder, port) does the same for a program (port 0: any free port); it
// rejects when folder is no folder or the port cannot be had.
//
// Only GET and HEAD of regular files that lie inside the folder once every
// link is resolved are answered with a file; anything else there is a 404. A
// request that cannot be read (a bad request line, a path that does not
// decode, a zero byte) gets a 400 and the connection is closed. Files are
// streamed from the descriptor that was checked, never read whole, and the
// stream stops when the client goes away. No request can end the server.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { pipeline } from 'node:stream';
import { fileURLToPath } from 'node:url';

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm',
  '.data': 'application/octet-stream',
  '.png': 'image/png',
  '.css': 'text/css; charset=utf-8',
};

const usage = 'usage: node serve.mjs FOLDER [PORT]';

// O_NONBLOCK so that opening a FIFO does not wait for a writer; O_NOFOLLOW so
// that a link put in place of the resolved name after the check is refused.
const openFlags = fs.constants.O_RDONLY | fs.constants.O_NONBLOCK |
                  fs.constants.O_NOFOLLOW | fs.constants.O_NOCTTY;

// The decoded path of the request's target, or null when it cannot be read:
// no origin-form or absolute-form URL, an escape that decodes to no UTF-8, or
// a zero byte.
function requestPath(target) {
  if (typeof target !== 'string' ||
      !(target.startsWith('/') || /^https?:\/\//i.test(target))) return null;
  let name;
  try {
    name = decodeURIComponent(new URL(target, 'http://127.0.0.1').pathname);
  } catch {
    return null;
  }
  if (name.includes('\0')) return null;
  return name.endsWith('/') ? name + 'intro-web.html' : name;
}

// Sends a short plain-text answer; after a 400 the connection is closed, as
// what follows a request that could not be read cannot be trusted either.
function answer(response, status, text, headers = {}) {
  if (response.headersSent) {
    response.destroy();
    return;
  }
  const body = `${text}\n`;
  response.writeHead(status, {
    'Content-Type': 'text/plain; charset=utf-8',
    'Content-Length': Buffer.byteLength(body),
    'Cache-Control': 'no-store',
    ...(status === 400 ? { Connection: 'close' } : {}),
    ...headers,
  });
  response.end(response.req.method === 'HEAD' ? undefined : body);
}

// The file named by the request, opened and checked: { fd, size, file } or
// null when it is missing, outside root once links are resolved, or no
// regular file.
async function openInside(root, name) {
  let real;
  try {
    real = await fs.promises.realpath(path.join(root, path.normalize(name)));
  } catch {
    return null;
  }
  if (!real.startsWith(root.endsWith(path.sep) ? root : root + path.sep)) return null;
  let handle;
  try {
    handle = await fs.promises.open(real, openFlags);
    const st = await handle.stat();
    if (!st.isFile()) {
      await handle.close();
      return null;
    }
    return { handle, size: st.size, file: real };
  } catch {
    if (handle) await handle.close().catch(() => {});
    return null;
  }
}

async function respond(root, request, response) {
  const name = requestPath(request.url);
  if (name === null) {
    answer(response, 400, 'bad request');
    return;
  }
  if (request.method !== 'GET' && request.method !== 'HEAD') {
    answer(response, 405, 'method not allowed', { Allow: 'GET, HEAD' });
    return;
  }
  const opened = await openInside(root, name);
  if (!opened) {
    answer(response, 404, 'not found');
    return;
  }
  const { handle, size, file } = opened;
  if (response.destroyed) {  // the client left while the file was checked
    await handle.close().catch(() => {});
    return;
  }
  response.writeHead(200, {
    'Content-Type': types[path.extname(file)] || 'application/octet-stream',
    'Content-Length': size,
    'Cache-Control': 'no-store',
  });
  if (request.method === 'HEAD' || size === 0) {
    await handle.close().catch(() => {});
    response.end();
    return;
  }
  // At most the size announced, even if the file grows meanwhile; pipeline
  // destroys the file stream (and closes the descriptor) when the client
  // goes away.
  const stream = handle.createReadStream({ start: 0, end: size - 1 });
  pipeline(stream, response, () => {});
}

export function serve(folder, port = 0) {
  return new Promise((resolve, reject) => {
    let root;
    try {
      root = fs.realpathSync(path.resolve(folder));
      if (!fs.statSync(root).isDirectory()) throw new Error('not a folder');
    } catch (error) {
      reject(new Error(error.code === 'ENOENT' ? 'no such folder' : 'not a folder'));
      return;
    }
    const server = http.createServer((request, response) => {
      respond(root, request, response).catch(() => answer(response, 500, 'error'));
    });
    // A request line or header that node cannot parse: a 400 where the socket
    // still takes one, and the connection closed.
    server.on('clientError', (error, socket) => {
      if (!socket.writable || error.code === 'ECONNRESET') {
        socket.destroy();
        return;
      }
      const status = error.code === 'HPE_HEADER_OVERFLOW'
        ? '431 Request Header Fields Too Large' : '400 Bad Request';
      socket.end(`HTTP/1.1 ${status}\r\nConnection: close\r\n` +
                 'Content-Length: 0\r\n\r\n');
    });
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () => {
      server.off('error', reject);
      // Errors of a listening server (a socket's, say) are reported, never
      // fatal.
      server.on('error', (error) => console.error(`serve.mjs: ${error.message}`));
      resolve({ server, url: `http://127.0.0.1:${server.address().port}/` });
    });
  });
}

async function main(args) {
  if (args.length === 1 && (args[0] === '--help' || args[0] === '-h')) {
    console.log(usage);
    return 0;
  }
  if (args.length < 1 || args.length > 2 || args[0].startsWith('-')) {
    console.error(usage);
    return 2;
  }
  const [folder, portText = '8000'] = args;
  if (!/^\d{1,5}$/.test(portText) || Number(portText) > 65535) {
    console.error(`serve.mjs: ${portText} is no port (0 to 65535)`);
    console.error(usage);
    return 2;
  }
  // Whatever slips past the handlers is reported; the server goes on.
  process.on('uncaughtException', (error) =>
    console.error(`serve.mjs: ${error && error.message}`));
  process.on('unhandledRejection', (error) =>
    console.error(`serve.mjs: ${error && error.message}`));
  let url;
  try {
    ({ url } = await serve(folder, Number(portText)));
  } catch (error) {
    console.error(`serve.mjs: cannot serve ${folder}: ${error.message}`);
    return 1;
  }
  console.log(`serving ${path.resolve(folder)} at ${url}intro-web.html` +
              ` (and ${url}intro-web-fullscreen.html); Ctrl-C stops`);
  return 0;
}

if (process.argv[1] && path.resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const status = await main(process.argv.slice(2));
  if (status !== 0) process.exitCode = status;
}
