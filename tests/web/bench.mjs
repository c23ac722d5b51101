// bench.mjs - the browser build's figures in headless chromium on this
// machine: time from opening the page to the first title frame, the bytes
// sent (gzip), the title's frame rate over five seconds, and the engine
// test's result from the debug log; for both variants: the threaded one
// (served with COOP/COEP, cross-origin isolated) and the one-thread one.
//
//   node tests/web/bench.mjs BUILD_WEB
import { chromium } from 'playwright-core';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const { serve } = await import(join(here, '../../web/serve.mjs'));

// Opens the page once, served with or without the isolating headers, and
// prints its figures.
async function measure(isolated) {
  let bytes = 0;
  const server = await serve({
    root: process.argv[2], port: 0, mounts: [], isolated, counted: (n) => (bytes += n),
  });
  const profile = mkdtempSync(join(tmpdir(), 'zp-bench-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1280, height: 960 },
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    const page = context.pages()[0] || (await context.newPage());
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    // The debug log as the game has written it so far.
    const log = () => page.evaluate(() => {
      try {
        return new TextDecoder().decode(FS.readFile(Module.ZP.home + '/Debug.txt'));
      } catch {
        return '';
      }
    });
    await page.waitForFunction(() => {
      try {
        return new TextDecoder().decode(FS.readFile(Module.ZP.home + '/Debug.txt')).includes('Finished Loading');
      } catch {
        return false;
      }
    }, null, { timeout: 300000, polling: 50 });
    const loaded = await page.evaluate(() => Module.ZP.frames || 0);
    // The first frame presented after loading is the title's.
    const first = await page.waitForFunction((n) => (Module.ZP.frames || 0) > n && performance.now(),
      loaded, { timeout: 60000, polling: 'raf' });
    const firstMs = await first.jsonValue();
    const sentBefore = bytes;
    const f0 = await page.evaluate(() => [Module.ZP.frames, performance.now()]);
    await page.waitForTimeout(5000);
    const f1 = await page.evaluate(() => [Module.ZP.frames, performance.now()]);
    const fps = ((f1[0] - f0[0]) * 1000) / (f1[1] - f0[1]);
    const variant = await page.evaluate(() => Module.variant);
    const engine = (await log()).split('\n').filter((l) => /Main sprites|Engine Test|Aiming|Driver :/.test(l));
    const name = `web ${variant}:`.padEnd(26);
    console.log(`${name}first title frame after  ${(firstMs / 1000).toFixed(2)} s`);
    console.log(`${name}bytes sent (gzip)        ${sentBefore}`);
    console.log(`${name}title frame rate         ${fps.toFixed(1)} fps`);
    console.log(`${name}engine test              ${engine.map((l) => l.trim()).join('; ') || 'not run'}`);
  } finally {
    await context.close();
    server.close();
    rmSync(profile, { recursive: true, force: true });
  }
}

await measure(true);
await measure(false);
