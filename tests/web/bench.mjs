// bench.mjs - the browser build's figures in headless chromium on this
// machine: time from opening the page to the first title frame, the bytes
// sent (gzip), the title's frame rate over five seconds, and the engine
// test's result from the debug log, as the page loaded and once more from the
// settings panel; for both variants: the threaded one (served with COOP/COEP,
// cross-origin isolated) and the one-thread one.
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
    const lines = (match) => log().then((text) => text.split('\n').filter((l) => match.test(l)).map((l) => l.trim()));
    const driver = (await lines(/Driver :/))[0] || 'no driver line';
    const atLoad = (await lines(/Main sprites/))[0] || 'not run';
    // The engine test again, from the settings panel's "Apply": the page is
    // 1280x960 and so is the logical screen, so the panel's button at (30, 290)
    // is at the same place on the page. By now the browser has compiled the
    // program's hot code fully, which it had not while the page loaded.
    await page.keyboard.press('Tab');
    await page.waitForTimeout(1500);
    await page.mouse.move(30, 290, { steps: 3 });
    await page.waitForTimeout(300);
    await page.mouse.down();
    await page.waitForTimeout(100);
    await page.mouse.up();
    await page.waitForFunction(() => new TextDecoder().decode(FS.readFile(Module.ZP.home + '/Debug.txt'))
      .split('Main sprites').length > 2, null, { timeout: 120000 });
    const warm = (await lines(/Main sprites/))[1];
    const name = `web ${variant}:`.padEnd(26);
    console.log(`${name}first title frame after  ${(firstMs / 1000).toFixed(2)} s`);
    console.log(`${name}bytes sent (gzip)        ${sentBefore}`);
    console.log(`${name}title frame rate         ${fps.toFixed(1)} fps`);
    console.log(`${name}engine test at load      ${atLoad}`);
    console.log(`${name}engine test again        ${warm}`);
    console.log(`${name}${driver}`);
  } finally {
    await context.close();
    server.close();
    rmSync(profile, { recursive: true, force: true });
  }
}

await measure(true);
await measure(false);
