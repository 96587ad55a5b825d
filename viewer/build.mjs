// Builds the viewer into one self-contained HTML file, dist/viewer.html:
// the bundled script and the style inlined, the script allowed by its hash
// in the page's Content-Security-Policy. The same sources and lock file give
// the same bytes; `node build.mjs --check` says whether the committed file
// is what they give.
import { build } from 'esbuild';
import { createHash } from 'node:crypto';
import { readFileSync, writeFileSync, mkdirSync } from 'node:fs';

const here = new URL('.', import.meta.url).pathname;
const options = {
  bundle: true,
  write: false,
  format: 'iife',
  minify: true,
  target: ['chrome90', 'firefox90', 'safari15', 'edge90'],
  legalComments: 'inline',
  charset: 'utf8',
  logLevel: 'error',
};
// The search index's worker goes into the page's script as a string: the
// page runs it from a blob: URL, so there is still only one file.
const worker = await build({ ...options, entryPoints: [`${here}src/worker.js`] });
const result = await build({
  ...options,
  entryPoints: [`${here}src/main.js`],
  define: { __WORKER_SOURCE__: JSON.stringify(worker.outputFiles[0].text) },
});
// "</script" inside the bundle would end the element early.
const script = result.outputFiles[0].text.replace(/<\/script/gi, '<\\/script').trimEnd();
const hash = createHash('sha256').update('\n' + script + '\n', 'utf8').digest('base64');
const style = readFileSync(`${here}src/style.css`, 'utf8').trimEnd();
const page = readFileSync(`${here}src/template.html`, 'utf8')
  .replace('%SCRIPT_HASH%', `sha256-${hash}`)
  .replace('%STYLE%', () => style)
  .replace('%SCRIPT%', () => script);

const target = `${here}dist/viewer.html`;
if (process.argv.includes('--check')) {
  let committed = '';
  try {
    committed = readFileSync(target, 'utf8');
  } catch {}
  if (committed !== page) {
    console.error('viewer: dist/viewer.html is not what the sources build (run scripts/build-viewer)');
    process.exit(1);
  }
  console.log('viewer: dist/viewer.html is what the sources build');
} else {
  mkdirSync(`${here}dist`, { recursive: true });
  writeFileSync(target, page);
  console.log(`viewer: dist/viewer.html, ${Buffer.byteLength(page)} bytes`);
}
