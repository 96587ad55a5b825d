// The search index in a worker, so that reading every mail of several
// archives leaves the page free to scroll and answer keys. Messages in:
// { add: { file, mails } }, { search: { id, words } } and { pause: ms }; out: progress
// ({ done, total, attachments }) and answers ({ id, hits }).
import { SearchIndex } from './search-index.js';

const index = new SearchIndex();
let running = false;

function progress() {
  postMessage({ progress: index.takeProgress() });
}

// While the user scrolls, the page asks the workers to wait: the frames are theirs first.
let pausedUntil = 0;
const wait = (ms) => new Promise((resume) => setTimeout(resume, ms));

async function run() {
  if (running) return;
  running = true;
  try {
    while (index.pending) {
      const paused = pausedUntil - Date.now();
      if (paused > 0) {
        await wait(paused);
        continue;
      }
      await index.step(50);
      progress();
      await wait(0);  // searches and pauses are heard in between
    }
  } catch (error) {
    postMessage({ failed: String(error && error.message ? error.message : error) });
  } finally {
    running = false;
  }
}

onmessage = ({ data }) => {
  if (data.add) {
    index.add(data.add.file, data.add.mails);
    progress();
    run();
  } else if (data.pause) {
    pausedUntil = Date.now() + data.pause;
  } else if (data.search) {
    const hits = index.search(data.search.words);
    postMessage({ answer: { id: data.search.id, hits } }, [hits.buffer]);
  }
};
