// The page's side of the search index: workers built from the page's own
// script (no file to fetch, nothing from outside), each reading its share
// of every archive; or the same index run in slices on the page where a
// browser has no workers for a local file.
import { SearchIndex } from './search-index.js';

/* global __WORKER_SOURCE__ */

// As many workers as cores, at most four: the page's own work is small
// beside theirs (a frame while they read is measured by the bench).
function workerCount() {
  const cores = (typeof navigator !== 'undefined' && navigator.hardwareConcurrency) || 2;
  return Math.max(1, Math.min(4, cores));
}

export class SearchClient {
  constructor(onProgress) {
    this.onProgress = onProgress;
    this.added = [];
    this.answers = new Map();
    this.nextId = 0;
    this.keys = 0;
    this.workers = [];
    try {
      const url = URL.createObjectURL(new Blob([__WORKER_SOURCE__], { type: 'text/javascript' }));
      for (let i = 0; i < workerCount(); ++i) {
        const worker = new Worker(url);
        const share = { worker, done: 0, total: 0 };
        worker.onmessage = ({ data }) => this.receive(share, data);
        worker.onerror = (event) => {
          event.preventDefault();
          this.fallBack();
        };
        this.workers.push(share);
      }
    } catch {
      this.fallBack();
    }
  }

  // Without workers, the page reads the mails itself, a slice per turn.
  fallBack() {
    if (this.local) return;
    for (const share of this.workers) share.worker.terminate();
    this.workers = [];
    this.local = new SearchIndex();
    for (const { file, mails } of this.added) this.local.add(file, mails);
    for (const [id, { words }] of [...this.answers]) this.answerLocally(id, words);
    this.report();
    this.drive();
  }

  async drive() {
    if (this.driving) return;
    this.driving = true;
    while (this.local.pending) {
      const paused = (this.local.pausedUntil || 0) - performance.now();
      if (paused > 0) {
        await new Promise((resume) => setTimeout(resume, paused));
        continue;
      }
      await this.local.step(30);
      this.report();
      await new Promise((resume) => setTimeout(resume, 0));
    }
    this.driving = false;
  }

  report(attachments = null) {
    if (this.local) {
      this.onProgress(this.local.takeProgress());
      return;
    }
    const done = this.workers.reduce((sum, s) => sum + s.done, 0);
    const total = this.workers.reduce((sum, s) => sum + s.total, 0);
    this.onProgress({ done, total, attachments: attachments || [] });
  }

  receive(share, data) {
    if (data.progress) {
      share.done = data.progress.done;
      share.total = data.progress.total;
      this.report(data.progress.attachments);
    } else if (data.answer) {
      const waiting = this.answers.get(data.answer.id);
      if (!waiting) return;
      const hits = new Uint8Array(data.answer.hits);
      for (let key = 0; key < hits.length; ++key) waiting.hits[key] |= hits[key];
      if (--waiting.outstanding === 0) {
        this.answers.delete(data.answer.id);
        waiting.resolve(waiting.hits);
      }
    } else if (data.failed) this.onProgress({ failed: data.failed });
  }

  // mails: [{ key, member, fields, at }], at: where the member lies in the
  // file; each worker gets one stretch of the file to read in turn.
  add(file, mails) {
    const ordered = [...mails].sort((a, b) => a.at - b.at);
    this.added.push({ file, mails: ordered });
    for (const mail of mails) this.keys = Math.max(this.keys, mail.key + 1);
    if (this.local) {
      this.local.add(file, ordered);
      this.report();
      this.drive();
      return;
    }
    const size = Math.ceil(ordered.length / this.workers.length);
    this.workers.forEach((share, i) => share.worker.postMessage({ add: { file, mails: ordered.slice(i * size, (i + 1) * size) } }));
  }

  answerLocally(id, words) {
    const waiting = this.answers.get(id);
    this.answers.delete(id);
    waiting?.resolve(this.local.search(words));
  }

  // The user is scrolling: the workers wait a moment, so that the page has the cores.
  yieldToUser(ms = 400) {
    const now = performance.now();
    if (now - (this.yielded || 0) < 100) return;
    this.yielded = now;
    for (const share of this.workers) share.worker.postMessage({ pause: ms });
    if (this.local) this.local.pausedUntil = now + ms;
  }

    // A bitmap over the mails' keys: 1 where every word begins a word of the mail.
  search(words) {
    const id = ++this.nextId;
    return new Promise((resolve) => {
      this.answers.set(id, { resolve, words, hits: new Uint8Array(this.keys), outstanding: this.workers.length });
      if (this.local) this.answerLocally(id, words);
      else for (const share of this.workers) share.worker.postMessage({ search: { id, words } });
    });
  }
}
