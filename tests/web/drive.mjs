// drive.mjs - opens the browser build in Debian's chromium and brings back
// what the game left: the tests and the benchmark read the files it writes.
//
//   node drive.mjs --root BUILD_WEB --out DIR [--mount DIR] --visit QUERY UNTIL
//                  [--visit QUERY UNTIL | --press KEY UNTIL | --click X Y UNTIL
//                   | --wait UNTIL | --write FILE TEXT]...
//                  [--read PATH]... [--viewport WxH] [--not-isolated]
//                  [--timeout SECONDS]
//
// Each --visit opens the page with the address's QUERY (the game's options)
// in the same browser profile, so IndexedDB carries over from one visit to
// the next, and waits for UNTIL: "exit" (the game closed), "log:TEXT" (the
// debug log holds TEXT) or "file:PATH=TEXT" (the file PATH holds TEXT).
// --press presses KEY on the open page, again every 3 s, until UNTIL holds,
// where "log:TEXT" counts only lines logged since; --wait waits for UNTIL,
// "log:TEXT" counting the whole log; --click moves the mouse to
// the page's point X,Y, clicks there and waits for UNTIL. --not-isolated
// serves the page without the COOP/COEP headers. --write
// puts TEXT into FILE of the player's folder and saves it. --mount
// serves DIR under /t/ for options naming files. Afterwards the player's
// folder is copied into DIR/home, each --read file into DIR/read, the page's
// picture into DIR/page.png, the files the page offered for download into
// DIR/downloads, and DIR/result.json holds, for each visit, the exit status,
// the variant the page loaded, whether it was cross-origin isolated, what
// reached WebAudio and the time taken, and the console's messages.
import { chromium } from 'playwright-core';
import { mkdirSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const { serve } = await import(join(here, '../../web/serve.mjs'));

// Reads the command line.
function parse(argv) {
  const o = { visits: [], reads: [], timeout: 300, mount: null, isolated: true,
    viewport: { width: 1280, height: 960 } };
  for (let i = 0; i < argv.length; i++) {
    const a = argv[i];
    if (a === '--root') o.root = argv[++i];
    else if (a === '--out') o.out = argv[++i];
    else if (a === '--mount') o.mount = argv[++i];
    else if (a === '--read') o.reads.push(argv[++i]);
    else if (a === '--press') o.visits.push({ key: argv[++i], until: argv[++i] });
    else if (a === '--write') o.visits.push({ write: [argv[++i], argv[++i]] });
    else if (a === '--wait') o.visits.push({ wait: true, until: argv[++i] });
    else if (a === '--timeout') o.timeout = Number(argv[++i]);
    else if (a === '--not-isolated') o.isolated = false;
    else if (a === '--viewport') {
      const [width, height] = argv[++i].split('x').map(Number);
      o.viewport = { width, height };
    } else if (a === '--click') o.visits.push({ click: [Number(argv[++i]), Number(argv[++i])], until: argv[++i] });
    else if (a === '--visit') o.visits.push({ query: argv[++i], until: argv[++i] });
    else throw new Error('unknown argument ' + a);
  }
  if (!o.root || !o.out || !o.visits.length) throw new Error('--root, --out and --visit are needed');
  return o;
}

// The debug log's text so far.
function logText() {
  try {
    return new TextDecoder().decode(FS.readFile(Module.ZP.home + '/Debug.txt'));
  } catch {
    return '';
  }
}

// True once the condition holds in the page; "log:" looks past logFrom.
function reached([until, logFrom]) {
  if (!window.Module || !Module.ZP) return false;
  const ZP = Module.ZP;
  if (ZP.failed) return true;
  if (until === 'exit') return ZP.exitStatus !== undefined && !ZP.saving;
  try {
    if (until.startsWith('file:')) {
      const [path, text] = until.slice(5).split('=');
      return new TextDecoder().decode(FS.readFile(path)).includes(text);
    }
    const log = new TextDecoder().decode(FS.readFile(ZP.home + '/Debug.txt'));
    return log.slice(logFrom).includes(until.slice(4));
  } catch {
    return false;
  }
}

// The player's real files (links to the pack left out), as path -> base64.
function homeFiles() {
  const out = {};
  const b64 = (bytes) => {
    let text = '';
    for (let i = 0; i < bytes.length; i += 32768)
      text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
    return btoa(text);
  };
  const walk = (path) => {
    for (const name of FS.readdir(path)) {
      if (name === '.' || name === '..') continue;
      const full = path + '/' + name;
      try {
        const st = FS.lstat(full);
        if (FS.isLink(st.mode)) continue;
        if (FS.isDir(st.mode)) walk(full);
        else out[full.slice(Module.ZP.home.length + 1)] = b64(FS.readFile(full));
      } catch (e) {
        throw new Error(full + ': ' + (e.code || e.errno || e.message));
      }
    }
  };
  walk(Module.ZP.home);
  return out;
}

const o = parse(process.argv.slice(2));
mkdirSync(o.out, { recursive: true });
const server = await serve({
  root: o.root, port: 0, mounts: o.mount ? [{ prefix: '/t/', folder: o.mount }] : [],
  isolated: o.isolated,
});
const base = `http://127.0.0.1:${server.address().port}/`;
const profile = mkdtempSync(join(tmpdir(), 'zp-chromium-'));
const context = await chromium.launchPersistentContext(profile, {
  executablePath: '/usr/bin/chromium',
  headless: true,
  viewport: o.viewport,
  acceptDownloads: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--autoplay-policy=no-user-gesture-required'],
});
const result = { visits: [], console: [] };
let status = 0;
try {
  const page = context.pages()[0] || (await context.newPage());
  page.on('console', (m) => result.console.push(m.type() + ': ' + m.text()));
  page.on('pageerror', (e) => result.console.push('pageerror: ' + e.message));
  const downloads = [];
  page.on('download', (d) =>
    downloads.push(d.saveAs(join(o.out, 'downloads', d.suggestedFilename())).then(() => d.suggestedFilename())));
  for (const visit of o.visits) {
    const started = Date.now();
    if (visit.write) {
      await page.evaluate(([file, text]) => {
        FS.writeFile(Module.ZP.home + '/' + file, text);
        Module.ZP.save();
      }, visit.write);
      await page.waitForFunction(() => !Module.ZP.saving, null, { timeout: 30000 });
      continue;
    }
    let logFrom = 0;
    if (visit.query !== undefined) await page.goto(base + visit.query);
    else if (!visit.wait) logFrom = (await page.evaluate(logText)).length;
    if (visit.click) {
      await page.mouse.move(visit.click[0], visit.click[1], { steps: 4 });
      await page.mouse.down();
      await page.mouse.up();
    }
    // Pressed at once, and again every 3 s in case the page had not taken it:
    // the game may take a second or two to answer a key while it starts.
    const press = () => page.keyboard.press(visit.key).catch(() => {});
    if (visit.key) press();
    const presser = visit.key && setInterval(press, 3000);
    try {
      await page.waitForFunction(reached, [visit.until, logFrom], { timeout: o.timeout * 1000, polling: 100 });
    } finally {
      if (presser) clearInterval(presser);
    }
    const state = await page.evaluate(() => ({
      exitStatus: Module.ZP.exitStatus, failed: Module.ZP.failed || null,
      variant: Module.variant, isolated: self.crossOriginIsolated, sound: Module.ZP.sound(),
    }));
    result.visits.push({ ...visit, ...state, millis: Date.now() - started });
    if (state.failed) throw new Error(state.failed);
  }
  await page.waitForFunction(() => !Module.ZP.saving, null, { timeout: 30000 });
  const home = await page.evaluate(homeFiles);
  for (const [path, data] of Object.entries(home)) {
    mkdirSync(dirname(join(o.out, 'home', path)), { recursive: true });
    writeFileSync(join(o.out, 'home', path), Buffer.from(data, 'base64'));
  }
  mkdirSync(join(o.out, 'read'), { recursive: true });
  for (const path of o.reads) {
    const data = await page.evaluate((p) => {
      try {
        const bytes = FS.readFile(p);
        let text = '';
        for (let i = 0; i < bytes.length; i += 32768)
          text += String.fromCharCode.apply(null, bytes.subarray(i, i + 32768));
        return btoa(text);
      } catch {
        return null;
      }
    }, path);
    if (data !== null) writeFileSync(join(o.out, 'read', path.split('/').pop()), Buffer.from(data, 'base64'));
  }
  await page.screenshot({ path: join(o.out, 'page.png') });
  result.downloads = await Promise.all(downloads);
} catch (e) {
  result.error = String(e.message || e);
  status = 1;
} finally {
  writeFileSync(join(o.out, 'result.json'), JSON.stringify(result, null, 1));
  await context.close();
  server.close();
  rmSync(profile, { recursive: true, force: true });
}
process.exit(status);
