// The folder tree: one root per archive (its file name and creation date),
// above them "Alle Archive" once there are two. Selection follows the
// focus; arrows move, open and close as in a file manager; Enter goes on to
// the list.
import { element } from './dom.js';

// The folders of an archive's mails ("Postfach\Posteingang\Büro").
export function foldersOf(archive) {
  const root = { kind: 'archive', archive, name: archive.name, children: new Map(), mails: archive.mails, total: archive.mails.length };
  for (const mail of archive.mails) {
    let node = root;
    let path = '';
    for (const part of String(mail.folder || '').split('\\')) {
      path = path ? `${path}\\${part}` : part;
      if (!node.children.has(part))
        node.children.set(part, { kind: 'folder', archive, name: part || '(ohne Ordner)', path, children: new Map(), mails: [], total: 0 });
      node = node.children.get(part);
      ++node.total;
    }
    node.mails.push(mail);
  }
  return root;
}

export class FolderTree {
  constructor(list, onSelect, onEnter) {
    Object.assign(this, { list, onSelect, onEnter });
    list.addEventListener('keydown', (event) => this.key(event));
    list.addEventListener('click', (event) => {
      const item = event.target.closest('li[role="treeitem"]');
      if (!item) return;
      if (event.target.closest('.toggle')) this.expand(item, item.getAttribute('aria-expanded') !== 'true');
      this.select(item);
    });
  }

  // Roots: the archives; the selected node stays selected where it still exists.
  show(roots, selected) {
    this.list.replaceChildren();
    const add = (node, parent, depth) => {
      const children = [...(node.children?.values() || [])].sort((a, b) => a.name.localeCompare(b.name, 'de'));
      const count = element('span', { class: 'count', text: String(node.kind === 'folder' ? node.mails.length : node.total),
        title: node.kind === 'folder' ? `${node.total} mit Unterordnern` : null });
      const label = element('span', { class: 'name', text: node.name });
      const row = element('div', { class: 'row' }, element('span', { class: 'toggle', 'aria-hidden': 'true' }), label, count);
      const item = element('li', { role: 'treeitem', 'aria-level': String(depth), tabindex: '-1', 'aria-selected': 'false', class: node.kind }, row);
      if (node.created) row.append(element('span', { class: 'created', text: `Erstellungsdatum: ${node.created}` }));
      item.node = node;
      if (children.length) {
        item.setAttribute('aria-expanded', 'true');
        const group = element('ul', { role: 'group' });
        for (const child of children) add(child, group, depth + 1);
        item.append(group);
      }
      parent.append(item);
    };
    for (const root of roots) add(root, this.list, 1);
    const items = this.items();
    const again = items.find((item) => item.node === selected) || items[0];
    if (again) this.select(again, false);
  }

  items() {
    return [...this.list.querySelectorAll('li[role="treeitem"]')];
  }

  // The items a user sees: none inside a closed one.
  visible() {
    return this.items().filter((item) => !item.parentElement.closest('li[aria-expanded="false"]'));
  }

  select(item, focus = true) {
    for (const other of this.list.querySelectorAll('li[aria-selected="true"]')) {
      other.setAttribute('aria-selected', 'false');
      other.tabIndex = -1;
    }
    item.setAttribute('aria-selected', 'true');
    item.tabIndex = 0;
    if (focus) item.focus({ preventScroll: false });
    this.selected = item;
    this.onSelect(item.node);
  }

  // Selects a node without taking the focus (the user is typing elsewhere).
  selectNode(node) {
    const item = this.items().find((i) => i.node === node);
    if (item) this.select(item, false);
  }

  expand(item, open) {
    if (item.hasAttribute('aria-expanded')) item.setAttribute('aria-expanded', open ? 'true' : 'false');
  }

  key(event) {
    const item = event.target.closest('li[role="treeitem"]');
    if (!item) return;
    const visible = this.visible();
    const at = visible.indexOf(item);
    const expanded = item.getAttribute('aria-expanded');
    const go = (target) => target && this.select(target);
    switch (event.key) {
      case 'ArrowDown': go(visible[at + 1]); break;
      case 'ArrowUp': go(visible[at - 1]); break;
      case 'Home': go(visible[0]); break;
      case 'End': go(visible[visible.length - 1]); break;
      case 'ArrowRight':
        if (expanded === 'false') this.expand(item, true);
        else if (expanded === 'true') go(item.querySelector('li[role="treeitem"]'));
        break;
      case 'ArrowLeft':
        if (expanded === 'true') this.expand(item, false);
        else go(item.parentElement.closest('li[role="treeitem"]'));
        break;
      case 'Enter': this.onEnter(); break;
      default: return;
    }
    event.preventDefault();
  }

  focus() {
    (this.selected || this.items()[0])?.focus();
  }
}
