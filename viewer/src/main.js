// The viewer's page: the user chooses or drops one or more archives; their
// folders, their mails and one opened mail are shown, and a search finds
// mails across all of them. Every text from an archive goes in as text,
// never as markup; a mail's body only into a sandboxed frame.
import { openZip, ZipError } from './zip.js';
import { parseMail, picturesOf, harmlessHtml, textAsHtml } from './mail.js';
import { queryWords, hitRanges } from './fold.js';
import { $, element, marked } from './dom.js';
import { MailGrid } from './mail-grid.js';
import { FolderTree, foldersOf } from './folder-tree.js';
import { SearchClient } from './search-client.js';

const dateFormat = new Intl.DateTimeFormat('de-DE', { dateStyle: 'medium', timeStyle: 'short' });
const numberFormat = new Intl.NumberFormat('de-DE');

export function formatDate(iso) {
  if (!iso) return '';
  const moment = new Date(iso);
  return Number.isNaN(moment.getTime()) ? String(iso) : dateFormat.format(moment);
}

export function formatSize(bytes) {
  if (!(bytes >= 0)) return '';
  if (bytes < 1024) return `${bytes} B`;
  const units = ['kB', 'MB', 'GB', 'TB'];
  let value = bytes / 1024;
  let unit = 0;
  while (value >= 1024 && unit < units.length - 1) (value /= 1024), ++unit;
  return `${value.toLocaleString('de-DE', { maximumFractionDigits: value < 10 ? 1 : 0 })} ${units[unit]}`;
}

const mailsText = (count) => `${numberFormat.format(count)} ${count === 1 ? 'E-Mail' : 'E-Mails'}`;

function download(bytes, name, type = 'application/octet-stream') {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const link = element('a', { href: url, download: safeFileName(name) });
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// A name the user's file system takes: no path, no control characters.
export function safeFileName(name) {
  const cleaned = String(name || '')
    .replace(/[\u0000-\u001f\u007f\u202a-\u202e\u2066-\u2069]/g, '')
    .replace(/[\\/:*?"<>|]/g, '_')
    .replace(/^[.\s]+|[.\s]+$/g, '');
  return cleaned || 'Anlage';
}

async function sha256Hex(bytes) {
  if (!globalThis.crypto || !crypto.subtle) return null;
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
  return [...digest].map((b) => b.toString(16).padStart(2, '0')).join('');
}

const byText = (key) => (m) => (m[key] || '').toLowerCase();
const COLUMNS = [
  { key: 'date', title: 'Datum', value: (m) => m.time, show: (m) => formatDate(m.date) },
  { key: 'from', title: 'Von', value: byText('from'), show: (m) => m.from || '', marks: true },
  { key: 'to', title: 'An', value: byText('to'), show: (m) => m.to || '', marks: true },
  { key: 'subject', title: 'Betreff', value: byText('subject'), show: (m) => m.subject || '', marks: true },
  { key: 'folder', title: 'Ordner', value: (m) => `${m.archive.name}\\${m.folder || ''}`.toLowerCase(),
    show: (m) => (m.folder || '').split('\\').pop(), tip: (m) => `${m.archive.name}: ${m.folder || ''}`, wide: true },
  { key: 'size', title: 'Größe', value: (m) => m.size || 0, show: (m) => formatSize(m.size) },
  { key: 'attachments', title: 'Anlagen', value: (m) => attachmentsOf(m) ?? -1, show: (m) => String(attachmentsOf(m) ?? ''), counted: true },  // counted later for older archives
];

const state = {
  archives: [],
  mails: [],  // by key
  all: null,  // the node "Alle Archive"
  scope: null,
  sort: { key: 'date', up: false },
  query: { text: '', words: [] },
  hits: null,
  searched: 0,
  filters: { since: null, until: null, withAttachments: false },
  counted: new Map(),  // attachments of mails whose manifest does not count them
  progress: { done: 0, total: 0 },
  opened: null,
};

function attachmentsOf(mail) {
  return mail.attachments ?? state.counted.get(mail.key);
}

function status(text, kind = '') {
  const line = $('status');
  line.textContent = text;
  line.className = kind;
}

const search = new SearchClient(onIndexProgress);
const tree = new FolderTree($('tree'), (node) => {
  state.scope = node;
  showProperties();
  showList();
}, () => grid.focus());
const grid = new MailGrid({
  table: $('grid'), scroll: $('listScroll'), head: $('columns'), body: $('mails'),
  onOpen: (mail) => openMail(mail),
  onLeave: () => tree.focus(),
  onScroll: () => search.yieldToUser(),
});

function columnsInSight() {
  return COLUMNS.filter((c) => c.key !== 'folder' || !state.scope || state.scope.kind !== 'folder');
}

function showColumns(columns) {
  $('columns').replaceChildren(
    ...columns.map((column) => {
      const sorted = state.sort.key === column.key;
      return element('th', { scope: 'col', class: column.key, role: 'columnheader', 'aria-sort': sorted ? (state.sort.up ? 'ascending' : 'descending') : 'none' },
        element('button', { type: 'button', tabindex: '-1', text: column.title + (sorted ? (state.sort.up ? ' ▲' : ' ▼') : ''),
          onclick: () => {
            state.sort = { key: column.key, up: sorted ? !state.sort.up : column.key !== 'date' && column.key !== 'size' };
            showList();
          } }));
    }),
  );
}

function passes(mail) {
  const { since, until, withAttachments } = state.filters;
  if (since != null && !(mail.time >= since)) return false;
  if (until != null && !(mail.time < until)) return false;
  if (withAttachments && !(attachmentsOf(mail) > 0)) return false;
  return true;
}

function showList() {
  const columns = columnsInSight();
  showColumns(columns);
  const searching = state.query.words.length > 0;
  const hits = searching ? state.hits : null;
  const scope = state.scope ? state.scope.mails : [];
  const rows = scope.filter((mail) => (!hits || hits[mail.key] === 1) && passes(mail));
  const column = COLUMNS.find((c) => c.key === state.sort.key);
  const keyed = rows.map((mail) => [column.value(mail), mail]);
  const numeric = typeof keyed[0]?.[0] === 'number';
  keyed.sort(numeric ? (a, b) => (a[0] - b[0]) || (a[1].key - b[1].key)
    : (a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : a[1].key - b[1].key));
  if (!state.sort.up) keyed.reverse();
  const sorted = keyed.map((pair) => pair[1]);
  const words = state.query.words;
  grid.show(sorted, columns, (text) => hitRanges(text, words));
  const name = state.scope ? state.scope.name : '';
  const filtered = state.filters.since != null || state.filters.until != null || state.filters.withAttachments;
  let title = searching ? `Suche „${state.query.text.trim()}“ in ${name}: ${mailsText(sorted.length)}` : `${name}: ${mailsText(sorted.length)}`;
  if (filtered) title += ' (gefiltert)';
  if (searching && state.progress.done < state.progress.total) title += ' – Inhalte werden noch gelesen';
  $('listTitle').textContent = title;
}

function onIndexProgress(progress) {
  if (progress.failed) {
    status(`Die Suche in den Texten ist nicht möglich: ${progress.failed}`, 'error');
    return;
  }
  // Only older archives' manifests lack the count.
  for (const [key, count] of progress.attachments || []) if (state.mails[key].attachments == null) state.counted.set(key, count);
  const finished = progress.done >= progress.total && state.progress.done < state.progress.total;
  state.progress = { done: progress.done, total: progress.total };
  const bar = $('indexProgress');
  bar.max = Math.max(1, progress.total);
  bar.value = progress.done;
  $('indexing').hidden = progress.done >= progress.total;
  $('indexText').textContent = `Suchindex: ${numberFormat.format(progress.done)} von ${mailsText(progress.total)} gelesen`;
  const now = performance.now();
  if (state.query.words.length && (finished || now - state.searched > 1500)) runSearch();
  else if (finished && state.filters.withAttachments) showList();
}

let searchTimer = 0;
async function runSearch() {
  const words = queryWords(state.query.text);
  state.query.words = words;
  state.searched = performance.now();
  if (!words.length) {
    state.hits = null;
    showList();
    return;
  }
  const asked = (state.asked = {});
  const hits = await search.search(words);
  if (state.asked !== asked) return;
  state.hits = hits;
  showList();
  document.dispatchEvent(new CustomEvent('cv-searched'));
}

function onQuery() {
  state.query.text = $('search').value;
  clearTimeout(searchTimer);
  // A search is across every archive: the scope widens to all of them, once.
  const widest = state.all || (state.archives.length === 1 ? state.archives[0].root : null);
  if (state.query.text.trim() && widest && state.scope !== widest && !state.widened) {
    state.widened = true;
    tree.selectNode(widest);
  }
  if (!state.query.text.trim()) state.widened = false;
  searchTimer = setTimeout(runSearch, 120);
}

function onFilters() {
  const day = (id, after) => {
    const value = $(id).value;
    if (!value) return null;
    const [y, m, d] = value.split('-').map(Number);
    return new Date(y, m - 1, d + (after ? 1 : 0)).getTime();
  };
  state.filters = { since: day('since', false), until: day('until', true), withAttachments: $('withAttachments').checked };
  showList();
}

function field(name, value, words) {
  if (!value) return null;
  const ranges = hitRanges(value, words);
  return element('div', { class: 'field' }, element('span', { class: 'label', text: `${name}:` }),
    element('span', {}, ranges.length ? marked(value, ranges) : value));
}

function addressText(list) {
  return (list || [])
    .map((a) => (a.group ? a.name || '' : a.name && a.address ? `${a.name} <${a.address}>` : a.name || a.address || ''))
    .filter(Boolean)
    .join('; ');
}

// The hits in the mail's own text, marked inside the frame's document.
function markedHtml(html, words) {
  if (!words.length) return html;
  const doc = new DOMParser().parseFromString(html, 'text/html');
  const walker = doc.createTreeWalker(doc.body, NodeFilter.SHOW_TEXT, {
    acceptNode: (node) => (node.parentElement.closest('style,script,title,textarea') ? NodeFilter.FILTER_REJECT : NodeFilter.FILTER_ACCEPT),
  });
  const texts = [];
  while (walker.nextNode()) texts.push(walker.currentNode);
  for (const node of texts) {
    const ranges = hitRanges(node.data, words);
    if (!ranges.length) continue;
    const fragment = doc.createDocumentFragment();
    let at = 0;
    for (const [start, end] of ranges) {
      fragment.append(node.data.slice(at, start));
      const mark = doc.createElement('mark');
      mark.setAttribute('style', 'background:#ffe36e;color:inherit');
      mark.textContent = node.data.slice(start, end);
      fragment.append(mark);
      at = end;
    }
    fragment.append(node.data.slice(at));
    node.replaceWith(fragment);
  }
  return '<!DOCTYPE html>' + doc.documentElement.outerHTML;
}

async function openMail(mail) {
  const token = {};
  state.opened = token;
  const words = state.query.words;
  const view = $('mail');
  view.setAttribute('aria-label', `E-Mail: ${mail.subject || '(ohne Betreff)'}`);
  view.replaceChildren(element('p', { class: 'hint', text: 'Wird geöffnet …' }));
  try {
    const entry = mail.archive.zip.entries.get(mail.member);
    if (!entry) throw new ZipError(`„${mail.member}“ fehlt im Archiv.`);
    const bytes = await mail.archive.zip.read(entry);
    const [email, digest] = await Promise.all([parseMail(bytes), sha256Hex(bytes)]);
    if (state.opened !== token) return;
    const check = digest == null ? ['nicht prüfbar', 'unknown'] : digest === mail.sha256 ? ['geprüft', 'ok'] : ['verändert', 'changed'];
    const pictures = picturesOf(email);
    const used = new Set();
    const html = email.html ? harmlessHtml(email.html, pictures, used) : textAsHtml(email.text || '');
    const subject = mail.subject || email.subject || '(ohne Betreff)';
    const subjectRanges = hitRanges(subject, words);
    const header = element('div', { class: 'header' },
      element('h2', {}, subjectRanges.length ? marked(subject, subjectRanges) : subject),
      element('span', { class: `check ${check[1]}`, id: 'check', text: check[0],
        title: check[1] === 'changed' ? 'Die Nachricht stimmt nicht mehr mit der Prüfsumme des Archivs überein.' : '' }),
      field('Von', mail.from || addressText(email.from ? [email.from] : []), words),
      field('An', mail.to || addressText(email.to), words),
      field('Cc', mail.cc || addressText(email.cc), words),
      field('Bcc', mail.bcc || addressText(email.bcc), words),
      field('Datum', formatDate(mail.date || email.date), []),
      field('Ordner', state.archives.length > 1 ? `${mail.archive.name}: ${mail.folder}` : mail.folder, []));
    const parts = [header];
    if (mail.missing && mail.missing.length) {
      parts.push(element('div', { class: 'missing', role: 'note' },
        element('strong', { text: 'Unvollständig archiviert:' }),
        element('ul', {}, ...mail.missing.map((m) => element('li', { text: m })))));
    }
    const files = element('ul', { class: 'files', 'aria-label': 'Anlagen' });
    email.attachments.forEach((a, i) => {
      if (used.has(a)) return;
      const name = safeFileName(a.filename || `Anlage ${i + 1}`);
      const label = `${name} (${formatSize(a.content.byteLength)})`;
      const ranges = hitRanges(label, words);
      files.append(element('li', {},
        element('button', { type: 'button', onclick: () => download(a.content, name, a.mimeType) }, ranges.length ? marked(label, ranges) : label)));
    });
    files.append(element('li', {},
      element('button', { type: 'button', class: 'eml', onclick: () => download(bytes, `${mail.subject || 'E-Mail'}.eml`, 'message/rfc822'),
        text: 'Original (.eml) speichern' })));
    parts.push(files);
    const frame = element('iframe', { sandbox: '', title: 'Inhalt der E-Mail', referrerpolicy: 'no-referrer' });
    frame.srcdoc = markedHtml(html, words);
    parts.push(frame);
    view.replaceChildren(...parts);
  } catch (error) {
    if (state.opened !== token) return;
    view.replaceChildren(element('p', { class: 'error', text: `Die E-Mail kann nicht gezeigt werden: ${error.message || error}` }));
  }
}

function showProperties() {
  const archive = state.scope && state.scope.archive;
  const list = element('dl');
  for (const [name, value] of (archive && archive.manifest.properties) || []) {
    if (!value) continue;
    list.append(element('dt', { text: name }), element('dd', { text: value }));
  }
  $('properties').replaceChildren(list);
}

function roots() {
  const archives = state.archives.map((a) => a.root);
  if (state.archives.length < 2) return archives;
  state.all = { kind: 'all', name: 'Alle Archive', mails: state.mails, total: state.mails.length };
  return [state.all, ...archives];
}


const propertyOf = (manifest, name) => ((manifest.properties || []).find((p) => p[0] === name) || [])[1] || '';

async function loadArchive(file) {
  if (state.archives.some((a) => a.file.name === file.name && a.file.size === file.size && a.file.lastModified === file.lastModified))
    return `„${file.name}“ ist schon geöffnet.`;
  const zip = await openZip(file);
  const entry = zip.entries.get('manifest.json');
  if (!entry) throw new ZipError('Das Archiv hat kein Inhaltsverzeichnis (manifest.json).');
  const manifest = JSON.parse(new TextDecoder().decode(await zip.read(entry)));
  if (manifest.format !== 'corvane-archive' || !Array.isArray(manifest.mails))
    throw new ZipError('Die Datei ist kein Corvane-Archiv.');
  const archive = { name: file.name, file, zip, manifest, mails: manifest.mails };
  for (const mail of archive.mails) {
    mail.key = state.mails.length;
    mail.archive = archive;
    mail.time = mail.date ? new Date(mail.date).getTime() : NaN;
    if (Number.isNaN(mail.time)) mail.time = -Infinity;
    state.mails.push(mail);
  }
  archive.root = foldersOf(archive);
  archive.root.created = propertyOf(manifest, 'Erstellungsdatum');
  state.archives.push(archive);
  search.add(file, archive.mails.map((m) => ({ key: m.key, member: m.member, at: zip.entries.get(m.member)?.local ?? 0,
    fields: [m.subject, m.from, m.to, m.cc, m.bcc] })));
  // The bar shows at once; the workers' first word comes when they have taken the fields in.
  $('indexing').hidden = false;
  $('indexText').textContent = 'Suchindex wird aufgebaut …';
  return null;
}

async function loadArchives(files) {
  const lines = [];
  for (const file of files) {
    status(`„${file.name}“ wird gelesen …`);
    try {
      const said = await loadArchive(file);
      if (said) lines.push(said);
    } catch (error) {
      lines.push(`„${file.name}“ kann nicht geöffnet werden: ${error.message || error}`);
    }
  }
  if (state.archives.length) {
    document.body.classList.add('loaded');
    $('archiveName').textContent = state.archives.length === 1 ? state.archives[0].name : `${state.archives.length} Archive`;
    const all = roots();
    tree.show(all, state.all || state.archives[state.archives.length - 1].root);
    if (!state.opened) $('mail').replaceChildren(element('p', { class: 'hint', text: 'Eine E-Mail der Liste wählen, um sie zu lesen.' }));
  }
  const summary = state.archives.length
    ? `${mailsText(state.mails.length)} in ${state.archives.length === 1 ? state.archives[0].name : `${state.archives.length} Archiven`}`
    : '';
  if (lines.length) status([...lines, summary].filter(Boolean).join(' '), 'error');
  else status(summary);
  if (!lines.length && state.archives.length) tree.focus();
}

// "/" searches from anywhere but a field; Esc goes back a step.
function onKey(event) {
  const typing = event.target.closest && event.target.closest('input, textarea, select');
  if (event.key === '/' && !typing && !event.ctrlKey && !event.metaKey && !event.altKey) {
    event.preventDefault();
    $('search').focus();
    $('search').select();
  } else if (event.key === 'Enter' && event.target === $('search')) {
    event.preventDefault();
    grid.focus();
  } else if (event.key === 'Escape') {
    if (event.target === $('search')) {
      if ($('search').value) {
        $('search').value = '';
        onQuery();
      } else grid.focus();
      event.preventDefault();
    } else if (event.target.closest && event.target.closest('#mail')) {
      grid.focus();
      event.preventDefault();
    }
  }
}

function start() {
  const chooser = $('file');
  chooser.addEventListener('change', () => chooser.files.length && loadArchives([...chooser.files]));
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dragging');
    const files = [...event.dataTransfer.files];
    if (files.length) loadArchives(files);
  });
  document.addEventListener('keydown', onKey);
  $('search').addEventListener('input', onQuery);
  for (const id of ['since', 'until', 'withAttachments']) $(id).addEventListener('change', onFilters);
}

start();
