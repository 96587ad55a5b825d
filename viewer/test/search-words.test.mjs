// The search index reads a mail's words its own fast way; every word
// postal-mime finds in the same mail (its text, its HTML, its attachments'
// names) must be among them, or a search would miss a mail it holds.
// Mails: the sample mailbox, the odd shapes of tests/data/generated and
// stores of scripts/generate-store. The folding rules are checked with
// their German cases here too.
//   node --test viewer/test/
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync, statSync, mkdtempSync, rmSync } from 'node:fs';
import { spawnSync } from 'node:child_process';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import PostalMime from 'postal-mime';
import { mimeWords } from '../src/mime-words.js';
import { textOfHtml } from '../src/search-index.js';
import { addWords, queryWords, matchesAll, haystackOf, hitRanges } from '../src/fold.js';

const root = fileURLToPath(new URL('../..', import.meta.url));

function mailsUnder(dir) {
  const found = [];
  for (const name of readdirSync(dir)) {
    const path = join(dir, name);
    if (statSync(path).isDirectory()) found.push(...mailsUnder(path));
    else if (name.endsWith('.eml')) found.push(path);
  }
  return found;
}

function ourWords(bytes) {
  const found = mimeWords(bytes);
  const words = new Set();
  for (const part of found.texts) addWords(words, part.html != null ? textOfHtml(part.html) : part.text);
  for (const name of found.names) addWords(words, name);
  return { words, attachments: found.attachments };
}

async function theirWords(bytes) {
  // Attached messages as attachments: their text is added below, their headers as they stand.
  const email = await PostalMime.parse(bytes, { rfc822Attachments: true });
  const words = new Set();
  addWords(words, email.text || '');
  if (email.html) addWords(words, textOfHtml(email.html));
  for (const a of email.attachments) {
    addWords(words, a.filename || '');
    // An attached message's own text is part of what a user searches for.
    if (a.mimeType === 'message/rfc822') {
      const inner = await PostalMime.parse(a.content, { rfc822Attachments: true });
      addWords(words, inner.text || '');
      addWords(words, inner.subject || '');
      for (const person of [inner.from, ...(inner.to || []), ...(inner.cc || [])]) addWords(words, `${person?.name || ''} ${person?.address || ''}`);
      if (inner.html) addWords(words, textOfHtml(inner.html));
    }
  }
  return words;
}

test('every word postal-mime reads in a mail is in the index', async () => {
  const work = mkdtempSync(join(tmpdir(), 'cv-words-'));
  try {
    for (const kind of ['--small', '--office']) {
      const run = spawnSync(join(root, 'scripts/generate-store'), ['60', join(work, kind.slice(2)), kind]);
      assert.equal(run.status, 0, String(run.stderr));
    }
    const mails = [join(root, 'samples/mailbox'), join(root, 'tests/data/generated'), work].flatMap(mailsUnder);
    assert.ok(mails.length > 150, `${mails.length} mails`);
    // postal-mime reads UTF-16 without a byte order mark as little-endian (this one is big-endian)
    // and UTF-16 with one but no charset as windows-1252; the index reads both.
    const utf16 = ['wort', 'koeln', 'gruesse', 'zweiter', 'absatz'];
    const misread = { 'charset-utf-16-nobom.eml': utf16, 'charset-utf-16.eml': utf16 };
    for (const path of mails) {
      const bytes = new Uint8Array(readFileSync(path));
      const ours = ourWords(bytes).words;
      const name = path.split('/').pop();
      if (misread[name]) {
        assert.deepEqual(misread[name].filter((word) => !ours.has(word)), [], path);
        continue;
      }
      const missing = [...(await theirWords(bytes))].filter((word) => !ours.has(word));
      assert.deepEqual(missing, [], path);
    }
  } finally {
    rmSync(work, { recursive: true, force: true });
  }
});

test('names and texts in the encodings mails use', () => {
  const cases = [
    ['an RFC 2231 name', 'Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\nContent-Type: text/plain\r\n\r\nHallo\r\n--b\r\n' +
      "Content-Type: application/pdf\r\nContent-Disposition: attachment;\r\n filename*0*=utf-8''Rechnung%20M%C3%BC;\r\n filename*1*=ller.pdf\r\n" +
      'Content-Transfer-Encoding: base64\r\n\r\nAAAA\r\n--b--\r\n', ['hallo', 'rechnung', 'mueller', 'muller', 'pdf'], 1],
    ['an encoded-word name', 'Content-Type: multipart/mixed; boundary="x y"\n\n--x y\nContent-Type: text/html; charset=iso-8859-1\n' +
      'Content-Transfer-Encoding: quoted-printable\n\n<p>Stra=DFe &amp; Gr=FC=\n=DFe</p>\n--x y\nContent-Type: image/png; name="=?UTF-8?B?w5xiZXJzaWNodC5wbmc=?="\n' +
      'Content-Disposition: attachment\n\n....\n--x y--\n', ['strasse', 'gruesse', 'grusse', 'uebersicht', 'ubersicht', 'png'], 1],
    ['an inline picture is no attachment', 'Content-Type: multipart/related; boundary=r\r\n\r\n--r\r\nContent-Type: text/html; charset=utf-8\r\n' +
      'Content-Transfer-Encoding: base64\r\n\r\nPGI+RGFua2U8L2I+\r\n--r\r\nContent-Type: image/png\r\nContent-ID: <p1>\r\n\r\nxx\r\n--r--\r\n', ['danke'], 0],
    ['an attached message', 'Content-Type: multipart/mixed; boundary=m\n\n--m\nContent-Type: text/plain\n\nSiehe unten\n--m\n' +
      'Content-Type: message/rfc822\nContent-Disposition: attachment\n\nSubject: Alt\nContent-Type: text/plain; charset=utf-8\n\nLieferschein Nr. 5\n--m--\n',
      ['siehe', 'unten', 'lieferschein', 'nr', '5'], 1],
  ];
  for (const [name, text, expected, attachments] of cases) {
    const found = ourWords(new TextEncoder().encode(text));
    assert.deepEqual([...found.words].sort(), [...expected].sort(), name);
    assert.equal(found.attachments, attachments, name);
  }
});

test('German spellings fold, a word finds the words it begins, in any order', () => {
  const words = new Set();
  addWords(words, 'Rechnung von Jürgen Müller, Straße 5, Café');
  const haystack = haystackOf(words);
  const cases = [
    ['rechn', true], ['RECHNUNG', true], ['Mueller', true], ['Muller', true], ['müller', true], ['Strasse', true],
    ['straße', true], ['Cafe', true], ['café', true], ['juergen rechnung', true], ['Rechnung Jürgen', true],
    ['echnung', false], ['Müllers', false], ['Rechnung Meier', false], ['5', true], ['55', false],
  ];
  for (const [query, found] of cases) assert.equal(matchesAll(haystack, queryWords(query)), found, query);
  assert.deepEqual(hitRanges('Herr Müller schreibt', queryWords('mue')), [[5, 11]]);
  assert.deepEqual(hitRanges('Mueller und Müller', queryWords('müller')), [[0, 7], [12, 18]]);
});

test('hostile HTML is read in one pass: openings without their ends, lone brackets', { timeout: 60000 }, () => {
  const many = (piece) => piece.repeat(200000);
  const cases = [
    ['styles never closed', `<p>Anfang</p>${many('<style>x')}`, ['anfang']],
    ['comments never closed', `Anfang ${many('<!-- x ')}`, ['anfang']],
    ['brackets never closed', `Anfang ${many('< ')}Ende`, ['anfang', 'ende']],
    ['a closed block between words', 'Vorher<script>var geheim = 1;</SCRIPT >Nachher &amp; m&uuml;de&#x21;', ['vorher', 'nachher', 'muede', 'mude']],
  ];
  for (const [name, html, expected] of cases) {
    const words = new Set();
    addWords(words, textOfHtml(html));
    assert.deepEqual([...words].filter((w) => w !== 'x'), expected, name);
  }
});
