// The viewer in a real browser (Debian's chromium, headless): it opens the
// sample mailbox's archive as cvmail writes it, shows a Word mail with its
// picture, saves an attachment with its source's bytes, marks a changed
// mail, and keeps hostile mails harmless: no script runs, nothing is
// requested but the page itself, data: and blob: URLs.
//   CVMAIL=build/linux/src/cvmail node --test viewer/test/
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { mkdtempSync, mkdirSync, readFileSync, writeFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL, fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { unzipSync, zipSync } from 'fflate';
import PostalMime from 'postal-mime';

const root = fileURLToPath(new URL('../..', import.meta.url));
const cvmail = process.env.CVMAIL || join(root, 'build/linux/src/cvmail');
const page = pathToFileURL(join(root, 'viewer/dist/viewer.html')).href;
const work = mkdtempSync(join(tmpdir(), 'cv-viewer-'));
const screenshots = process.env.CV_SCREENSHOTS;  // a directory to keep the screenshots in

let browser;
const sample = join(work, 'Beispiel.zip');
const tampered = join(work, 'Verändert.zip');
const hostile = join(work, 'Feindlich.zip');

const yearly = [join(work, 'Archiv 2023.zip'), join(work, 'Archiv 2024.zip')];

const sha256 = (bytes) => createHash('sha256').update(bytes).digest('hex');

// A version 2 container of raw messages (no viewer, no attachment counts),
// as an attacker could hand one over; the first mail lacks something.
function containerOf(messages) {
  const files = {};
  const mails = messages.map(([subject, text], i) => {
    const member = `mails/Feindlich/${String(i + 1).padStart(6, '0')}.eml`;
    files[member] = new TextEncoder().encode(text);
    return { member, folder: 'Feindlich', entryId: `E${i}`, subject, from: 'Angreifer', to: '', cc: '', bcc: '',
      date: '2025-12-01T09:00:00+01:00', size: text.length, state: 0, importance: 0,
      headersOnly: false, sha256: sha256(files[member]), source: null,
      ...(i === 0 ? { missing: ['Anhang „Plan.pdf“ fehlt'] } : {}) };
  });
  files['manifest.json'] = new TextEncoder().encode(JSON.stringify({ format: 'corvane-archive', version: 2,
    properties: [['Ersteller', 'Test']], announced: mails.length, received: mails.length, mails }));
  return zipSync(files);
}

const html = (subject, body, extra = '') =>
  `From: x@example.org\r\nSubject: ${subject}\r\nMIME-Version: 1.0\r\n${extra}` +
  `Content-Type: text/html; charset=utf-8\r\n\r\n<html><body>${body}</body></html>\r\n`;

// Each tries to run a script (it would log "RAN" or alert) or to load from outside.
const HOSTILE = [
  ['script', html('script', '<p>Text</p><script>console.log("RAN");alert(1)</script>')],
  ['event attribute', html('event', '<img src="x" onerror="console.log(\'RAN\')"><body onload="alert(1)">')],
  ['refresh', html('refresh', '<meta http-equiv="refresh" content="0;url=https://evil.example/refresh">Text')],
  ['css url', html('css', '<style>@import url(https://evil.example/i.css); body{background:url("https://evil.example/b.png")}</style>' +
    '<div style="background-image:url(https://evil.example/d.png)">Text</div>')],
  ['form', html('form', '<form action="https://evil.example/f" method="post"><input name="a" value="b"><button id="send">Senden</button></form>')],
  ['svg', html('svg', '<svg xmlns="http://www.w3.org/2000/svg" onload="console.log(\'RAN\')"><script>console.log("RAN")</script>' +
    '<image href="https://evil.example/s.png"/></svg>')],
  ['javascript link', html('link', '<a id="go" href="javascript:console.log(\'RAN\')">klick</a>')],
  ['remote pictures', html('remote', '<img src="https://evil.example/pixel.gif"><img srcset="https://evil.example/2x.gif 2x">' +
    '<iframe src="https://evil.example/frame"></iframe><object data="https://evil.example/o"></object>' +
    '<link rel="stylesheet" href="https://evil.example/l.css"><video poster="https://evil.example/p.png"></video>')],
  ['<script>alert(1)</script>', 'From: x@example.org\r\nSubject: <img src=x onerror=alert(1)>\r\nMIME-Version: 1.0\r\n' +
    'Content-Type: multipart/mixed; boundary="b"\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nName als Text\r\n' +
    '--b\r\nContent-Type: text/html\r\nContent-Disposition: attachment; filename="<img src=x onerror=alert(1)>.html"\r\n\r\n' +
    '<script>alert(1)</script>\r\n--b--\r\n'],
];

// A plain or HTML mail with an optional PDF attachment, as a file of a store.
function mail(dir, name, { subject, date, body, html = false, attachment = null }) {
  const text = `From: Buchhaltung <b@example.org>\r\nTo: Anna <a@example.org>\r\nSubject: ${subject}\r\nDate: ${date}\r\n` +
    'MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary="g"\r\n\r\n--g\r\n' +
    `Content-Type: text/${html ? 'html' : 'plain'}; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n${body}\r\n` +
    (attachment ? `--g\r\nContent-Type: application/pdf\r\nContent-Disposition: attachment; filename="${attachment}"\r\n` +
      'Content-Transfer-Encoding: base64\r\n\r\nJVBERi0xLjQK\r\n' : '') + '--g--\r\n';
  mkdirSync(dir, { recursive: true });
  writeFileSync(join(dir, name), text);
}

function archiveOf(store, target) {
  const run = spawnSync(cvmail, ['archive', store, '-o', target]);
  assert.equal(run.status, 0, `cvmail archive: ${run.stderr}`);
}

before(async () => {
  // Two yearly archives: the invoice names Müller in its text in one, Mueller in the other.
  const y2023 = join(work, 'Postfach 2023');
  mail(join(y2023, 'Posteingang'), '1.eml', { subject: 'Rechnung 2023-17', date: 'Thu, 04 May 2023 10:00:00 +0200',
    body: '<p>Sehr geehrter Herr <b>Müller</b>, anbei die Rechnung.</p>', html: true, attachment: 'Angebot Köln.pdf' });
  mail(join(y2023, 'Posteingang'), '2.eml', { subject: 'Protokoll', date: 'Fri, 05 May 2023 10:00:00 +0200', body: 'Nichts Neues.' });
  const y2024 = join(work, 'Postfach 2024');
  mail(join(y2024, 'Ablage'), '1.eml', { subject: 'Rechnung 7', date: 'Wed, 10 Jan 2024 09:00:00 +0100', body: 'Grüße an Herrn Mueller.' });
  mail(join(y2024, 'Ablage'), '2.eml', { subject: 'Lieferschein', date: 'Thu, 11 Jan 2024 09:00:00 +0100', body: 'Straße 5' });
  archiveOf(y2023, yearly[0]);
  archiveOf(y2024, yearly[1]);

  // Exit 1: the sample mailbox holds a broken file and excluded folders, named in the summary.
  const run = spawnSync(cvmail, ['archive', join(root, 'samples/mailbox'), '-o', sample, '--cache', join(root, 'samples/cache')]);
  assert.ok(run.status === 0 || run.status === 1, `cvmail archive: ${run.status} ${run.stderr}`);
  // The same archive with one word of one mail changed.
  const files = unzipSync(readFileSync(sample));
  const manifest = JSON.parse(new TextDecoder().decode(files['manifest.json']));
  const changed = manifest.mails.find((m) => m.subject === 'Rückfrage Nr. 7');
  files[changed.member] = new TextEncoder().encode(new TextDecoder().decode(files[changed.member]).replace('Subject:', 'Subject: X'));
  writeFileSync(tampered, zipSync(files));
  writeFileSync(hostile, containerOf(HOSTILE));
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: process.getuid && process.getuid() === 0 ? ['--no-sandbox'] : [],
  });
});

after(async () => {
  await browser?.close();
  rmSync(work, { recursive: true, force: true });
});

// A page with the archive loaded; every request and every console line kept.
async function open(archive, { withoutWorkers = false } = {}) {
  const context = await browser.newContext({ viewport: { width: 1280, height: 860 }, acceptDownloads: true });
  const tab = await context.newPage();
  if (withoutWorkers) await tab.addInitScript(() => { delete window.Worker; });
  const seen = { requests: [], console: [], dialogs: 0 };
  context.on('request', (request) => seen.requests.push(request.url()));
  tab.on('console', (message) => seen.console.push(message.text()));
  tab.on('pageerror', (error) => seen.console.push(`pageerror: ${error.message}`));
  tab.on('dialog', (dialog) => {
    ++seen.dialogs;
    dialog.dismiss();
  });
  await tab.goto(page);
  await tab.setInputFiles('#file', archive);
  await tab.waitForFunction(() => document.body.classList.contains('loaded'));
  await tab.waitForSelector('#mails tr');
  return { tab, seen, context };
}

async function openMail(tab, folder, subject) {
  await tab.click(`#tree .row:has(.name:text-is("${folder}"))`);
  await tab.click(`#mails tr:has(td.subject:text-is("${subject}"))`);
  await tab.waitForSelector('#mail iframe, #mail .error');
  const frame = tab.frames().find((f) => f !== tab.mainFrame());
  await frame?.waitForLoadState();
  return frame;
}

const outside = (urls) => urls.filter((url) => url !== page && !/^(data|blob):/.test(url));

test('the folders, a Word mail with its picture, an attachment with its source bytes', async () => {
  const { tab, seen, context } = await open(sample);
  const folders = await tab.$$eval('#tree .row', (rows) => rows.map((r) => [r.querySelector('.name').textContent, r.querySelector('.count').textContent]));
  assert.deepEqual(folders.filter(([name]) => ['Posteingang', 'Word', 'Büro', 'Archiv 2024'].includes(name)).sort(),
    [['Archiv 2024', '5'], ['Büro', '3'], ['Posteingang', '11'], ['Word', '5']]);
  if (screenshots) await tab.screenshot({ path: join(screenshots, 'viewer-folders.png') });

  const frame = await openMail(tab, 'Word', 'Foto vom Aufbau');
  assert.equal(await tab.textContent('#check'), 'geprüft');
  const widths = await frame.$$eval('img', (imgs) => Promise.all(imgs.map((img) => img.decode().then(() => img.naturalWidth, () => 0))));
  assert.ok(widths.length > 0 && widths.every((w) => w > 0), `pictures ${widths}`);
  assert.match(await frame.textContent('body'), /Aufbau/);
  if (screenshots) await tab.screenshot({ path: join(screenshots, 'viewer-picture.png') });

  await openMail(tab, 'Posteingang', 'Berichte Q4 – zwei gleichnamige Anhänge');
  const source = await PostalMime.parse(readFileSync(join(root, 'samples/mailbox/Posteingang/02_berichte.eml')));
  const expected = source.attachments.find((a) => a.filename === 'Übersicht Größen.xlsx');
  const [download] = await Promise.all([tab.waitForEvent('download'), tab.click('.files button:has-text("Übersicht Größen.xlsx")')]);
  assert.equal(download.suggestedFilename(), 'Übersicht Größen.xlsx');
  assert.deepEqual(new Uint8Array(readFileSync(await download.path())), new Uint8Array(expected.content));
  const [eml] = await Promise.all([tab.waitForEvent('download'), tab.click('.files button.eml')]);
  const member = JSON.parse(new TextDecoder().decode(unzipSync(readFileSync(sample))['manifest.json'])).mails
    .find((m) => m.subject.startsWith('Berichte Q4'));
  assert.equal(sha256(readFileSync(await eml.path())), member.sha256);

  // Sorted by subject, then the other way.
  await tab.click('#columns th.subject button');
  const up = await tab.$$eval('#mails td.subject', (cells) => cells.map((c) => c.textContent));
  assert.deepEqual(up, [...up].sort((a, b) => (a.toLowerCase() < b.toLowerCase() ? -1 : 1)));
  await tab.click('#columns th.subject button');
  assert.deepEqual(await tab.$$eval('#mails td.subject', (cells) => cells.map((c) => c.textContent)), [...up].reverse());

  assert.deepEqual(outside(seen.requests), []);
  assert.deepEqual(seen.console, []);
  await context.close();
});

test('a mail whose bytes changed is marked "verändert"', async () => {
  const { tab, context } = await open(tampered);
  await openMail(tab, 'Posteingang', 'Rückfrage Nr. 7');
  assert.equal(await tab.textContent('#check'), 'verändert');
  if (screenshots) await tab.screenshot({ path: join(screenshots, 'viewer-changed.png') });
  await openMail(tab, 'Posteingang', 'Rückfrage Nr. 6');
  assert.equal(await tab.textContent('#check'), 'geprüft');
  await context.close();
});

test('hostile mails run no script and request nothing', async () => {
  const { tab, seen, context } = await open(hostile);
  await openMail(tab, 'Feindlich', HOSTILE[0][0]);
  assert.equal(await tab.textContent('#mail .missing'), 'Unvollständig archiviert:Anhang „Plan.pdf“ fehlt');
  for (const [subject] of HOSTILE) {
    const frame = await openMail(tab, 'Feindlich', subject);
    assert.ok(frame, subject);
    assert.equal(await frame.$$eval('script', (s) => s.length), 0, subject);
    for (const id of ['#go', '#send']) {
      const target = await frame.$(id);
      if (target) await target.click({ timeout: 2000 }).catch(() => {});
    }
    await tab.waitForTimeout(300);
    assert.equal(frame.url(), 'about:srcdoc', subject);
  }
  // A name made of markup is shown as its text.
  assert.equal(await tab.textContent('#mail h2'), '<script>alert(1)</script>');
  assert.ok(await tab.$('.files button:has-text("img src=x onerror=alert(1)")'));
  assert.deepEqual(outside(seen.requests), []);
  assert.equal(seen.dialogs, 0);
  assert.deepEqual(seen.console.filter((line) => line.includes('RAN') || line.startsWith('pageerror')), []);
  await context.close();
});

// The hits of the search box, once every archive's mails are read.
async function searchFor(tab, text) {
  await tab.waitForFunction(() => document.getElementById('indexing').hidden);
  await tab.fill('#search', text);
  await tab.waitForFunction((t) => document.getElementById('listTitle').textContent.startsWith(`Suche „${t}“`), text);
  return tab.$$eval('#mails tr[data-index] td.subject', (cells) => cells.map((c) => c.textContent).sort());
}

test('two archives: a search finds a mail of each however Müller is spelled, filters narrow it, keys open a hit', async () => {
  const { tab, seen, context } = await open(yearly);
  const roots = await tab.$$eval('#tree > li', (items) => items.map((i) => i.querySelector('.row').textContent));
  assert.deepEqual(roots.map((r) => r.replace(/Erstellungsdatum: .*/, '')), ['Alle Archive4', 'Archiv 2023.zip2', 'Archiv 2024.zip2']);
  assert.ok(roots.slice(1).every((r) => /Erstellungsdatum: \S/.test(r)), roots.join(' | '));

  for (const query of ['müller rechn', 'Rechnung Mueller', 'mue'])
    assert.deepEqual(await searchFor(tab, query), ['Rechnung 2023-17', 'Rechnung 7'], query);
  // Without its dots, ü is u: that finds Müller, but nobody can tell that Mueller's ue was one.
  assert.deepEqual(await searchFor(tab, 'MULLER'), ['Rechnung 2023-17']);
  assert.deepEqual(await searchFor(tab, 'Strasse'), ['Lieferschein']);
  assert.deepEqual(await searchFor(tab, 'Angebot Koeln'), ['Rechnung 2023-17']);  // an attachment's name
  assert.deepEqual(await searchFor(tab, 'echnung'), []);
  assert.deepEqual(await searchFor(tab, 'Rechnung Meier'), []);

  await searchFor(tab, 'rechnung');
  assert.deepEqual(await tab.$$eval('#mails mark', (marks) => marks.map((m) => m.textContent)), ['Rechnung', 'Rechnung']);
  await tab.check('#withAttachments');
  assert.deepEqual(await tab.$$eval('#mails tr[data-index] td.subject', (c) => c.map((x) => x.textContent)), ['Rechnung 2023-17']);
  await tab.uncheck('#withAttachments');
  await tab.fill('#since', '2024-01-01');
  await tab.dispatchEvent('#since', 'change');
  assert.deepEqual(await tab.$$eval('#mails tr[data-index] td.subject', (c) => c.map((x) => x.textContent)), ['Rechnung 7']);
  await tab.fill('#since', '');
  await tab.fill('#until', '2023-05-04');
  await tab.dispatchEvent('#until', 'change');
  assert.deepEqual(await tab.$$eval('#mails tr[data-index] td.subject', (c) => c.map((x) => x.textContent)), ['Rechnung 2023-17']);
  await tab.fill('#until', '');
  await tab.dispatchEvent('#until', 'change');

  // By keys alone: "/" to the search, Enter to the hits, down to the older one, Enter opens it.
  await tab.focus('#tree li[aria-selected="true"]');
  await tab.keyboard.press('/');
  assert.equal(await tab.evaluate(() => document.activeElement.id), 'search');
  await tab.keyboard.type('Müller');
  await tab.waitForFunction(() => document.getElementById('listTitle').textContent.startsWith('Suche „Müller“'));
  await tab.keyboard.press('Enter');
  assert.equal(await tab.evaluate(() => document.activeElement.id), 'grid');
  await tab.keyboard.press('ArrowDown');
  await tab.keyboard.press('Enter');
  await tab.waitForSelector('#mail iframe');
  assert.equal(await tab.textContent('#mail h2'), 'Rechnung 2023-17');
  const frame = tab.frames().find((f) => f !== tab.mainFrame());
  await frame.waitForLoadState();
  assert.deepEqual(await frame.$$eval('mark', (marks) => marks.map((m) => m.textContent)), ['Müller']);
  const active = await tab.getAttribute('#grid', 'aria-activedescendant');
  assert.equal(await tab.getAttribute(`#${active}`, 'aria-selected'), 'true');
  if (screenshots) await tab.screenshot({ path: join(screenshots, 'viewer-search.png') });

  // Esc goes back: from the list to the tree, whose arrows select a folder.
  await tab.keyboard.press('Escape');
  assert.equal(await tab.evaluate(() => document.activeElement.getAttribute('role')), 'treeitem');
  await tab.keyboard.press('End');
  assert.equal(await tab.textContent('#tree li[aria-selected="true"] > .row .name'), 'Ablage');
  assert.match(await tab.textContent('#listTitle'), /^Suche „Müller“ in Ablage: 1 E-Mail$/);
  await tab.keyboard.press('ArrowLeft');
  assert.equal(await tab.textContent('#tree li[aria-selected="true"] > .row .name'), 'Postfach 2024');

  assert.deepEqual(outside(seen.requests), []);
  assert.deepEqual(seen.console, []);
  await context.close();
});

test('without workers the page builds the index itself and finds the same mails', async () => {
  const { tab, seen, context } = await open(yearly, { withoutWorkers: true });
  assert.equal(await tab.evaluate(() => typeof Worker), 'undefined');
  assert.deepEqual(await searchFor(tab, 'müller rechn'), ['Rechnung 2023-17', 'Rechnung 7']);
  assert.deepEqual(await searchFor(tab, 'Angebot Koeln'), ['Rechnung 2023-17']);
  assert.deepEqual(seen.console, []);
  await context.close();
});
