// The viewer's page: the user chooses or drops an archive; its folders, its
// mails and one opened mail are shown. Every text from the archive goes in
// as text, never as markup; a mail's body only into a sandboxed frame.
import { openZip, ZipError } from './zip.js';
import { parseMail, picturesOf, harmlessHtml, textAsHtml } from './mail.js';

const $ = (id) => document.getElementById(id);

function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (name === 'text') node.textContent = value;
    else if (name.startsWith('on')) node.addEventListener(name.slice(2), value);
    else node.setAttribute(name, value);
  }
  for (const child of children) if (child != null) node.append(child);
  return node;
}

const dateFormat = new Intl.DateTimeFormat('de-DE', { dateStyle: 'medium', timeStyle: 'short' });

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

const COLUMNS = [
  { key: 'date', title: 'Datum', value: (m) => m.date || '', show: (m) => formatDate(m.date) },
  { key: 'from', title: 'Von', value: (m) => (m.from || '').toLowerCase(), show: (m) => m.from || '' },
  { key: 'to', title: 'An', value: (m) => (m.to || '').toLowerCase(), show: (m) => m.to || '' },
  { key: 'subject', title: 'Betreff', value: (m) => (m.subject || '').toLowerCase(), show: (m) => m.subject || '' },
  { key: 'size', title: 'Größe', value: (m) => m.size || 0, show: (m) => formatSize(m.size) },
  {
    key: 'attachments',
    title: 'Anlagen',
    value: (m) => (m.attachments == null ? -1 : m.attachments),
    show: (m) => (m.attachments == null ? '' : String(m.attachments)),
  },
];

const state = { zip: null, manifest: null, folders: null, folder: null, sort: { key: 'date', up: false }, opened: null };

function status(text, kind = '') {
  const line = $('status');
  line.textContent = text;
  line.className = kind;
}

// The folder tree from the mails' folder paths ("Postfach\Posteingang\Büro").
function folderTree(mails) {
  const root = { name: '', path: '', children: new Map(), mails: [], total: 0 };
  for (const mail of mails) {
    let node = root;
    const parts = String(mail.folder || '').split('\\');
    let path = '';
    for (const part of parts) {
      path = path ? `${path}\\${part}` : part;
      if (!node.children.has(part)) node.children.set(part, { name: part || '(ohne Ordner)', path, children: new Map(), mails: [], total: 0 });
      node = node.children.get(part);
      ++node.total;
    }
    node.mails.push(mail);
  }
  return root;
}

function showTree() {
  const tree = $('tree');
  tree.replaceChildren();
  const add = (node, list, depth) => {
    const children = [...node.children.values()].sort((a, b) => a.name.localeCompare(b.name, 'de'));
    for (const child of children) {
      const label = element('span', { class: 'name', text: child.name });
      const count = element('span', { class: 'count', text: String(child.mails.length), title: `${child.total} mit Unterordnern` });
      const item = element('li', { role: 'treeitem', 'aria-level': String(depth), tabindex: '-1', 'aria-selected': 'false' },
        element('div', { class: 'row', onclick: () => selectFolder(child, item) }, label, count));
      item.folder = child;
      if (child.children.size) {
        item.setAttribute('aria-expanded', 'true');
        const group = element('ul', { role: 'group' });
        add(child, group, depth + 1);
        item.append(group);
      }
      list.append(item);
    }
  };
  add(state.folders, tree, 1);
  // The first folder that holds mails, in the tree's order.
  const first = [...tree.querySelectorAll('li')].find((item) => item.folder.mails.length) || tree.querySelector('li');
  if (first) selectFolder(first.folder, first);
}

function selectFolder(folder, item) {
  for (const selected of document.querySelectorAll('#tree li[aria-selected="true"]')) selected.setAttribute('aria-selected', 'false');
  item.setAttribute('aria-selected', 'true');
  item.focus({ preventScroll: true });
  state.folder = folder;
  showList();
}

function showList() {
  const head = $('columns');
  head.replaceChildren(
    ...COLUMNS.map((column) => {
      const sorted = state.sort.key === column.key;
      return element('th', {
        scope: 'col',
        class: column.key,
        'aria-sort': sorted ? (state.sort.up ? 'ascending' : 'descending') : 'none',
        onclick: () => {
          state.sort = { key: column.key, up: sorted ? !state.sort.up : column.key !== 'date' && column.key !== 'size' };
          showList();
        },
      }, element('button', { type: 'button', text: column.title + (sorted ? (state.sort.up ? ' ▲' : ' ▼') : '') }));
    }),
  );
  const column = COLUMNS.find((c) => c.key === state.sort.key);
  const mails = [...(state.folder ? state.folder.mails : [])];
  mails.sort((a, b) => {
    const x = column.value(a);
    const y = column.value(b);
    const order = typeof x === 'number' ? x - y : x < y ? -1 : x > y ? 1 : 0;
    return state.sort.up ? order : -order;
  });
  const rows = document.createDocumentFragment();
  for (const mail of mails) {
    const row = element('tr', { tabindex: '-1', onclick: () => openMail(mail, row) });
    if (mail.missing && mail.missing.length) row.classList.add('incomplete');
    for (const c of COLUMNS) row.append(element('td', { class: c.key, text: c.show(mail) }));
    rows.append(row);
  }
  $('mails').replaceChildren(rows);
  $('listTitle').textContent = state.folder ? `${state.folder.name}: ${mails.length} ${mails.length === 1 ? 'E-Mail' : 'E-Mails'}` : '';
}

function field(name, value) {
  if (!value) return null;
  return element('div', { class: 'field' }, element('span', { class: 'label', text: `${name}:` }), element('span', { text: value }));
}

function addressText(list) {
  return (list || [])
    .map((a) => (a.group ? a.name || '' : a.name && a.address ? `${a.name} <${a.address}>` : a.name || a.address || ''))
    .filter(Boolean)
    .join('; ');
}

async function openMail(mail, row) {
  for (const selected of document.querySelectorAll('#mails tr.selected')) selected.classList.remove('selected');
  row.classList.add('selected');
  const token = {};
  state.opened = token;
  const view = $('mail');
  view.replaceChildren(element('p', { class: 'hint', text: 'Wird geöffnet …' }));
  try {
    const entry = state.zip.entries.get(mail.member);
    if (!entry) throw new ZipError(`„${mail.member}“ fehlt im Archiv.`);
    const bytes = await state.zip.read(entry);
    const [email, digest] = await Promise.all([parseMail(bytes), sha256Hex(bytes)]);
    if (state.opened !== token) return;
    const check = digest == null ? ['nicht prüfbar', 'unknown'] : digest === mail.sha256 ? ['geprüft', 'ok'] : ['verändert', 'changed'];
    const pictures = picturesOf(email);
    const used = new Set();
    const html = email.html ? harmlessHtml(email.html, pictures, used) : textAsHtml(email.text || '');
    const header = element('div', { class: 'header' },
      element('h2', { text: mail.subject || email.subject || '(ohne Betreff)' }),
      element('span', { class: `check ${check[1]}`, id: 'check', text: check[0],
        title: check[1] === 'changed' ? 'Die Nachricht stimmt nicht mehr mit der Prüfsumme des Archivs überein.' : '' }),
      field('Von', mail.from || addressText(email.from ? [email.from] : [])),
      field('An', mail.to || addressText(email.to)),
      field('Cc', mail.cc || addressText(email.cc)),
      field('Bcc', mail.bcc || addressText(email.bcc)),
      field('Datum', formatDate(mail.date || email.date)),
      field('Ordner', mail.folder));
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
      files.append(element('li', {},
        element('button', { type: 'button', onclick: () => download(a.content, name, a.mimeType) , text: `${name} (${formatSize(a.content.byteLength)})` })));
    });
    files.append(element('li', {},
      element('button', { type: 'button', class: 'eml', onclick: () => download(bytes, `${mail.subject || 'E-Mail'}.eml`, 'message/rfc822'),
        text: 'Original (.eml) speichern' })));
    parts.push(files);
    const frame = element('iframe', { sandbox: '', title: 'Inhalt der E-Mail', referrerpolicy: 'no-referrer' });
    frame.srcdoc = html;
    parts.push(frame);
    view.replaceChildren(...parts);
  } catch (error) {
    if (state.opened !== token) return;
    view.replaceChildren(element('p', { class: 'error', text: `Die E-Mail kann nicht gezeigt werden: ${error.message || error}` }));
  }
}

function showProperties(manifest) {
  const list = element('dl');
  for (const [name, value] of manifest.properties || []) {
    if (!value) continue;
    list.append(element('dt', { text: name }), element('dd', { text: value }));
  }
  $('properties').replaceChildren(list);
}

async function loadArchive(file) {
  status(`„${file.name}“ wird gelesen …`);
  try {
    const zip = await openZip(file);
    const entry = zip.entries.get('manifest.json');
    if (!entry) throw new ZipError('Das Archiv hat kein Inhaltsverzeichnis (manifest.json).');
    const manifest = JSON.parse(new TextDecoder().decode(await zip.read(entry)));
    if (manifest.format !== 'corvane-archive' || !Array.isArray(manifest.mails))
      throw new ZipError('Die Datei ist kein Corvane-Archiv.');
    Object.assign(state, { zip, manifest, folders: folderTree(manifest.mails), folder: null, opened: null });
    document.body.classList.add('loaded');
    $('archiveName').textContent = file.name;
    showProperties(manifest);
    showTree();
    $('mail').replaceChildren(element('p', { class: 'hint', text: 'Eine E-Mail der Liste wählen, um sie zu lesen.' }));
    const count = manifest.mails.length;
    status(`${count} ${count === 1 ? 'E-Mail' : 'E-Mails'} in ${file.name}`);
  } catch (error) {
    status(`Das Archiv kann nicht geöffnet werden: ${error.message || error}`, 'error');
  }
}

function start() {
  const chooser = $('file');
  chooser.addEventListener('change', () => chooser.files[0] && loadArchive(chooser.files[0]));
  document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dragging');
  });
  document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dragging');
    const file = event.dataTransfer.files[0];
    if (file) loadArchive(file);
  });
}

start();
