// The static server of the browser build, run as the program it is, with real
// requests on 127.0.0.1: what it serves from a scratch site, what it refuses,
// requests it cannot read (each must leave it serving), and its arguments.
//   node --test tests/web/serve_test.mjs
import assert from 'node:assert/strict';
import { execFileSync, spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';

const serveScript = fileURLToPath(new URL('../../web/serve.mjs', import.meta.url));
const MiB = 1 << 20;
const page = '<!doctype html><title>intro</title>\n';

// The scratch site: regular files, a link that stays inside, links out of it
// (to a file beside it and to an endless device), a FIFO, a folder and a large
// sparse file.
function makeSite() {
  const top = fs.mkdtempSync(path.join(os.tmpdir(), 'serve-test-'));
  const site = path.join(top, 'site');
  fs.mkdirSync(path.join(site, 'folder'), { recursive: true });
  fs.mkdirSync(path.join(top, 'outside'));
  fs.writeFileSync(path.join(site, 'intro-web.html'), page);
  fs.writeFileSync(path.join(site, 'intro.js'), 'export {};\n');
  fs.writeFileSync(path.join(site, 'empty.data'), '');
  fs.writeFileSync(path.join(top, 'outside', 'secret.txt'), 'secret\n');
  fs.symlinkSync('intro-web.html', path.join(site, 'same.html'));
  fs.symlinkSync('../outside/secret.txt', path.join(site, 'link.txt'));
  fs.symlinkSync('/dev/zero', path.join(site, 'zero'));
  execFileSync('mkfifo', [path.join(site, 'fifo')]);
  fs.truncateSync(fs.openSync(path.join(site, 'big.data'), 'w'), 256 * MiB);
  return { top, site };
}

// Starts the server on any free port; resolves to { child, port } once it has
// printed its address.
function startServer(site) {
  const child = spawn(process.execPath, [serveScript, site, '0'],
                      { stdio: ['ignore', 'pipe', 'pipe'] });
  let out = '', err = '';
  child.stderr.on('data', (d) => { err += d; });
  return new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => {
      out += d;
      const m = /127\.0\.0\.1:(\d+)\//.exec(out);
      if (m) resolve({ child, port: Number(m[1]), stderr: () => err });
    });
    child.once('exit', (code) => reject(new Error(`server exited ${code}: ${err}`)));
  });
}

// One request; resolves to { status, headers, body } (body as a string).
function request(port, target, method = 'GET') {
  return new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port, path: target, method,
                               agent: false, timeout: 5000 }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers,
                                    body: Buffer.concat(chunks).toString() }));
    });
    req.on('timeout', () => req.destroy(new Error(`${target}: no answer in 5 s`)));
    req.on('error', reject);
    req.end();
  });
}

// Sends raw bytes on a connection of its own; resolves to all that came back
// before the server closed it (or 3 s passed).
function raw(port, bytes) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(port, '127.0.0.1');
    let got = '';
    socket.setTimeout(3000, () => socket.destroy());
    socket.on('data', (d) => { got += d; });
    socket.on('error', reject);
    socket.on('close', () => resolve(got));
    socket.write(bytes);
  });
}

// The descriptors the server holds open on path.
function openOn(pid, file) {
  const dir = `/proc/${pid}/fd`;
  let count = 0;
  for (const fd of fs.readdirSync(dir)) {
    try {
      if (fs.readlinkSync(path.join(dir, fd)) === file) count++;
    } catch {}  // closed meanwhile
  }
  return count;
}

function peakMemory(pid) {
  const m = /VmHWM:\s+(\d+) kB/.exec(fs.readFileSync(`/proc/${pid}/status`, 'utf8'));
  return Number(m[1]) * 1024;
}

describe('serve.mjs', () => {
  let site, server;
  before(async () => {
    site = makeSite();
    server = await startServer(site.site);
  });
  after(() => {
    if (server) server.child.kill();
    if (site) fs.rmSync(site.top, { recursive: true, force: true });
  });

  const answers = [
    ['/', 200, page],
    ['/intro-web.html?fps=30', 200, page],
    ['/same.html', 200, page],  // a link that stays inside the site
    ['/empty.data', 200, ''],
    ['/missing.js', 404],
    ['/link.txt', 404],  // resolves to a file beside the site
    ['/zero', 404],  // resolves to /dev/zero
    ['/fifo', 404],
    ['/folder', 404],
    ['/folder/', 404],
    ['/../outside/secret.txt', 404],
    ['/..%2f..%2foutside%2fsecret.txt', 404],
    ['/%2e%2e/outside/secret.txt', 404],
  ];
  for (const [target, status, body] of answers) {
    test(`GET ${target} answers ${status}`, async () => {
      const res = await request(server.port, target);
      assert.equal(res.status, status);
      assert.doesNotMatch(res.body, /secret/);
      if (body !== undefined) {
        assert.equal(res.body, body);
        assert.equal(res.headers['content-length'], String(Buffer.byteLength(body)));
        assert.equal(res.headers['cache-control'], 'no-store');
      }
    });
  }

  test('sends the types a browser needs and nothing for HEAD', async () => {
    const js = await request(server.port, '/intro.js');
    assert.equal(js.headers['content-type'], 'text/javascript; charset=utf-8');
    const head = await request(server.port, '/', 'HEAD');
    assert.equal(head.status, 200);
    assert.equal(head.headers['content-length'], String(page.length));
    assert.equal(head.body, '');
    const post = await request(server.port, '/', 'POST');
    assert.equal(post.status, 405);
  });

  const malformed = [
    ['a lone percent sign', 'GET /% HTTP/1.1'],
    ['an escaped zero byte', 'GET /%00 HTTP/1.1'],
    ['an escape that is no UTF-8', 'GET /a%FF HTTP/1.1'],
    ['an overlong UTF-8 slash', 'GET /%C0%AF HTTP/1.1'],
    ['an absolute URL with a broken host', 'GET http://[ HTTP/1.1'],
    ['an asterisk target', 'GET * HTTP/1.1'],
    ['no HTTP at all', 'HELLO'],
  ];
  for (const [what, line] of malformed) {
    test(`answers 400 to ${what} and goes on serving`, async () => {
      const reply = await raw(server.port, `${line}\r\nHost: 127.0.0.1\r\n\r\n`);
      assert.match(reply, /^HTTP\/1\.1 400 /);
      const res = await request(server.port, '/');
      assert.equal(res.status, 200);
      assert.equal(res.body, page);
    });
  }

  test('streams a large file without holding it in memory', async () => {
    const before = peakMemory(server.child.pid);
    const bytes = await new Promise((resolve, reject) => {
      http.get({ host: '127.0.0.1', port: server.port, path: '/big.data', agent: false },
               (res) => {
                 let n = 0;
                 res.on('data', (c) => { n += c.length; });
                 res.on('end', () => resolve(n));
               }).on('error', reject);
    });
    assert.equal(bytes, 256 * MiB);
    // Read whole, the file alone would raise the peak by 256 MiB.
    assert.ok(peakMemory(server.child.pid) - before < 64 * MiB,
              `peak grew by ${(peakMemory(server.child.pid) - before) / MiB} MiB`);
  });

  test('stops streaming when the client goes away', async () => {
    const file = fs.realpathSync(path.join(site.site, 'big.data'));
    await new Promise((resolve, reject) => {
      const socket = net.connect(server.port, '127.0.0.1');
      socket.on('error', reject);
      socket.once('data', () => {
        assert.equal(openOn(server.child.pid, file), 1);
        socket.destroy();
        resolve();
      });
      socket.write('GET /big.data HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n');
    });
    const deadline = Date.now() + 3000;
    while (openOn(server.child.pid, file) > 0 && Date.now() < deadline)
      await new Promise((r) => setTimeout(r, 20));
    assert.equal(openOn(server.child.pid, file), 0, 'the file is still open');
    assert.equal((await request(server.port, '/')).status, 200);
  });

  test('reports nothing on standard error for what it served or refused', () => {
    assert.equal(server.stderr(), '');
    assert.equal(server.child.exitCode, null);
  });
});

describe('serve.mjs arguments', () => {
  let site;
  before(() => {
    site = fs.mkdtempSync(path.join(os.tmpdir(), 'serve-args-'));
    fs.writeFileSync(path.join(site, 'file'), 'x');
  });
  after(() => fs.rmSync(site, { recursive: true, force: true }));

  const cases = [
    ['no folder', [], 2, /^usage: node serve\.mjs FOLDER \[PORT\]$/m],
    ['a port that is no number', ['.', 'abc'], 2, /abc is no port/],
    ['a port past 65535', ['.', '65536'], 2, /65536 is no port/],
    ['too many arguments', ['.', '0', 'x'], 2, /^usage: /m],
    ['a folder that is missing', ['missing'], 1, /^serve\.mjs: cannot serve missing: no such folder\n$/],
    ['a file for the folder', ['file'], 1, /^serve\.mjs: cannot serve file: not a folder\n$/],
  ];
  for (const [what, args, status, message] of cases) {
    test(`${what} exits ${status} with a message and no stack trace`, () => {
      const run = spawnSync(process.execPath, [serveScript, ...args],
                            { cwd: site, encoding: 'utf8', timeout: 10000 });
      assert.equal(run.status, status);
      assert.match(run.stderr, message);
      assert.doesNotMatch(run.stderr, /\n\s+at /);
      assert.equal(run.stdout, '');
    });
  }

  test('--help prints the usage and exits 0', () => {
    const run = spawnSync(process.execPath, [serveScript, '--help'], { encoding: 'utf8' });
    assert.equal(run.status, 0);
    assert.match(run.stdout, /^usage: /);
  });
});
