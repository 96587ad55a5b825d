// The search index of every chosen archive: per mail one string of the
// folded words of its subject, people, body text and attachment names. The
// manifest's fields are searchable at once; the bodies and attachment names
// join as the mails are read, a few at a time, so that whoever drives it
// (a worker, or the page itself where workers are missing) can report
// progress and answer searches in between.
import { openZip } from './zip.js';
import { addWords, haystackOf, matchesAll } from './fold.js';
import { mimeWords } from './mime-words.js';

const ENTITIES = { nbsp: ' ', amp: '&', lt: '<', gt: '>', quot: '"', apos: "'", auml: 'ä', ouml: 'ö', uuml: 'ü',
  Auml: 'Ä', Ouml: 'Ö', Uuml: 'Ü', szlig: 'ß', eacute: 'é', egrave: 'è', agrave: 'à', ccedil: 'ç', euro: '€', shy: '' };

const BLOCKS = /<!--|<(script|style|head|title)\b/gi;

// The words of an HTML body; only words matter here, not layout. Linear in
// the text however it is made: an opening without its end drops the rest,
// a "<" without its ">" stays text.
export function textOfHtml(html) {
  const text = String(html);
  const lower = text.toLowerCase();
  const kept = [];
  let at = 0;
  BLOCKS.lastIndex = 0;
  for (let match; (match = BLOCKS.exec(text));) {
    kept.push(text.slice(at, match.index));
    const closing = match[1] ? `</${match[1].toLowerCase()}` : '-->';
    const end = lower.indexOf(closing, BLOCKS.lastIndex);
    if (end < 0) {
      at = text.length;
      break;
    }
    at = BLOCKS.lastIndex = end + closing.length;
  }
  kept.push(text.slice(at));
  return kept
    .join(' ')
    .replace(/<[^<>]*>/g, ' ')
    .replace(/&(#x[0-9a-f]{1,6}|#[0-9]{1,7}|[a-z]{2,8});/gi, (whole, name) => {
      if (name[0] === '#') {
        const code = name[1] === 'x' || name[1] === 'X' ? parseInt(name.slice(2), 16) : parseInt(name.slice(1), 10);
        return code > 0 && code <= 0x10ffff ? String.fromCodePoint(code) : ' ';
      }
      return ENTITIES[name] ?? whole;
    });
}

const READ_AHEAD = 8 << 20;

export class SearchIndex {
  constructor() {
    this.haystacks = [];  // by mail key
    this.queue = [];      // { zip, file, mails: [{ key, member }], next }
    this.total = 0;
    this.done = 0;
    this.attachments = new Map();  // key → count, for mails whose manifest does not say
  }

  // An archive's mails: [{ key, member, fields: [texts] }], in the order they
  // lie in the file, so that one read serves many; the file is read later.
  add(file, mails) {
    for (const mail of mails) {
      const words = new Set();
      for (const text of mail.fields) addWords(words, text);
      this.haystacks[mail.key] = { words, text: haystackOf(words) };
    }
    this.queue.push({ file, zip: null, mails, next: 0 });
    this.total += mails.length;
  }

  // How far it is, with the attachment counts found since the last report.
  takeProgress() {
    const attachments = [...this.attachments];
    this.attachments.clear();
    return { done: this.done, total: this.total, attachments };
  }

  get pending() {
    return this.done < this.total;
  }

  // Reads the next mails' bodies; at most `budget` milliseconds.
  async step(budget) {
    const until = performance.now() + budget;
    while (this.queue.length && performance.now() < until) {
      const archive = this.queue[0];
      if (!archive.zip) {
        try {
          archive.zip = await openZip(archive.file);
        } catch {
          // the page opened this file a moment ago; if it cannot now, its mails keep their manifest's words
          this.done += archive.mails.length - archive.next;
          this.queue.shift();
          continue;
        }
      }
      const mail = archive.mails[archive.next++];
      await this.read(archive.zip, mail);
      ++this.done;
      if (archive.next === archive.mails.length) this.queue.shift();
    }
  }

  async read(zip, mail) {
    const entry = zip.entries.get(mail.member);
    const haystack = this.haystacks[mail.key];
    if (!entry) return;  // the page says so when the mail is opened
    try {
      const found = mimeWords(await zip.read(entry, READ_AHEAD));
      const words = haystack.words;
      for (const part of found.texts) addWords(words, part.html != null ? textOfHtml(part.html) : part.text);
      for (const name of found.names) addWords(words, name);
      const attachments = found.attachments;
      this.attachments.set(mail.key, attachments);
      haystack.text = haystackOf(words);
    } catch {
      // an unreadable mail keeps its manifest's words; opening it says what is wrong
    }
    haystack.words = null;  // each mail is read once; the string is all the search needs
  }

  // The keys of the mails that hold every word, as a bitmap over all keys.
  search(words) {
    const hits = new Uint8Array(this.haystacks.length);
    for (let key = 0; key < this.haystacks.length; ++key) {
      const haystack = this.haystacks[key];
      if (haystack && matchesAll(haystack.text, words)) hits[key] = 1;
    }
    return hits;
  }
}
