// The mail list as a grid that draws only the rows in sight, so that a
// folder of 100,000 mails scrolls as one of ten. Rows are all one height;
// two spacer rows stand for the rest. The grid keeps the focus itself and
// names its active row to screen readers (aria-activedescendant).
import { element, marked } from './dom.js';

const OVERSCAN = 8;

export class MailGrid {
  constructor({ table, scroll, head, body, onOpen, onLeave, onScroll = () => {} }) {
    Object.assign(this, { table, scroll, head, body, onOpen, onLeave, onScroll });
    this.rows = [];
    this.columns = [];
    this.active = -1;
    this.rowHeight = 28;
    this.drawn = null;
    this.cache = new Map();
    this.highlight = () => [];
    scroll.addEventListener('scroll', () => {
      this.onScroll();
      this.schedule();
    }, { passive: true });
    new ResizeObserver(() => this.schedule()).observe(scroll);
    table.addEventListener('keydown', (event) => this.key(event));
    // Tabbing in makes the first row in sight active; a click makes its own row active.
    body.addEventListener('mousedown', () => (this.pointing = true));
    table.addEventListener('focus', () => {
      if (this.active < 0 && this.rows.length && !this.pointing) this.activate(Math.floor(this.scroll.scrollTop / this.rowHeight));
      this.pointing = false;
    });
    body.addEventListener('click', (event) => {
      this.pointing = false;
      const row = event.target.closest('tr[data-index]');
      if (!row) return;
      this.activate(Number(row.dataset.index));
      this.table.focus({ preventScroll: true });
      this.onOpen(this.rows[this.active]);
    });
  }

  // New rows (already sorted and filtered); the active mail stays active if it is still there.
  show(rows, columns, highlight) {
    const activeMail = this.rows[this.active];
    this.rows = rows;
    this.columns = columns;
    this.highlight = highlight;
    this.active = activeMail ? rows.indexOf(activeMail) : -1;
    this.table.setAttribute('aria-rowcount', String(rows.length + 1));
    if (this.active < 0) this.table.removeAttribute('aria-activedescendant');
    if (this.active < 0) this.scroll.scrollTop = 0;
    this.drawn = null;
    this.cache = new Map();
    this.draw();
  }

  schedule() {
    if (this.pending) return;
    this.pending = requestAnimationFrame(() => {
      this.pending = 0;
      this.draw();
    });
  }

  draw() {
    const height = this.rowHeight;
    const headHeight = this.head.offsetHeight || height;
    const seen = Math.max(1, this.scroll.clientHeight - headHeight);
    const first = Math.max(0, Math.floor(this.scroll.scrollTop / height) - OVERSCAN);
    const last = Math.min(this.rows.length, Math.ceil((this.scroll.scrollTop + seen) / height) + OVERSCAN);
    if (this.drawn && this.drawn.first === first && this.drawn.last === last) return;
    this.drawn = { first, last };
    const spacer = (count) => {
      const cell = element('td', { colspan: String(this.columns.length) });
      cell.style.height = `${count * height}px`;
      return element('tr', { class: 'spacer', 'aria-hidden': 'true' }, cell);
    };
    // Rows still in sight stay the same elements: a click in progress keeps its row.
    // Rows out of sight are filled anew: a far scroll makes no garbage to collect.
    const spare = [];
    for (const [i, row] of this.cache) if (i < first || i >= last) spare.push(row);
    const kept = new Map();
    const fragment = document.createDocumentFragment();
    if (first > 0) fragment.append(spacer(first));
    for (let i = first; i < last; ++i) {
      const row = this.cache.get(i) || this.fill(spare.pop() || this.emptyRow(), i);
      kept.set(i, row);
      fragment.append(row);
    }
    if (last < this.rows.length) fragment.append(spacer(this.rows.length - last));
    this.cache = kept;
    this.body.replaceChildren(fragment);
  }

  emptyRow() {
    const row = document.createElement('tr');
    for (const column of this.columns) row.append(element('td', { class: column.key }));
    return row;
  }

  fill(row, index) {
    const mail = this.rows[index];
    const active = index === this.active;
    row.id = `mail-${mail.key}`;
    row.dataset.index = String(index);
    row.setAttribute('aria-rowindex', String(index + 2));
    row.setAttribute('aria-selected', active ? 'true' : 'false');
    row.className = active ? 'selected' : '';
    if (mail.missing && mail.missing.length) row.classList.add('incomplete');
    // A row's texts are made once per mail: scrolling far shows rows by the thousand.
    const shown = mail.shown || (mail.shown = {});
    this.columns.forEach((column, c) => {
      const text = column.counted ? column.show(mail) : shown[column.key] ?? (shown[column.key] = column.show(mail));
      const cell = row.cells[c];
      if (column.tip) cell.title = column.tip(mail);
      const ranges = column.marks ? this.highlight(text) : [];
      if (ranges.length) cell.replaceChildren(marked(text, ranges));
      else cell.textContent = text;
    });
    return row;
  }

  // Moves the active row, in place where it is drawn: a click's row must stay the row clicked.
  activate(index) {
    if (!this.rows.length) return;
    const before = this.body.querySelector('tr.selected');
    if (before) {
      before.classList.remove('selected');
      before.setAttribute('aria-selected', 'false');
    }
    this.active = Math.max(0, Math.min(this.rows.length - 1, index));
    const top = this.active * this.rowHeight;
    const headHeight = this.head.offsetHeight || this.rowHeight;
    const seen = this.scroll.clientHeight - headHeight;
    if (top < this.scroll.scrollTop) this.scroll.scrollTop = top;
    else if (top + this.rowHeight > this.scroll.scrollTop + seen) this.scroll.scrollTop = top + this.rowHeight - seen;
    this.draw();
    const row = this.body.querySelector(`tr[data-index="${this.active}"]`);
    if (row) {
      row.classList.add('selected');
      row.setAttribute('aria-selected', 'true');
    }
    this.table.setAttribute('aria-activedescendant', `mail-${this.rows[this.active].key}`);
  }

  key(event) {
    const page = Math.max(1, Math.floor((this.scroll.clientHeight - this.head.offsetHeight) / this.rowHeight) - 1);
    const moves = { ArrowDown: 1, ArrowUp: -1, PageDown: page, PageUp: -page };
    if (event.key in moves) this.activate((this.active < 0 ? -1 : this.active) + moves[event.key]);
    else if (event.key === 'Home') this.activate(0);
    else if (event.key === 'End') this.activate(this.rows.length - 1);
    else if (event.key === 'Enter' || event.key === ' ') {
      if (this.active >= 0) this.onOpen(this.rows[this.active]);
    } else if (event.key === 'Escape') this.onLeave();
    else return;
    event.preventDefault();
  }

  focus() {
    this.table.focus();
  }
}
