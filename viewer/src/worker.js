// The search index in a worker, so that reading every mail of several
// archives leaves the page free to scroll and answer keys. Messages in:
// { add: { file, mails } } and { search: { id, words } }; out: progress
// ({ done, total, attachments }) and answers ({ id, hits }).
import { SearchIndex } from './search-index.js';

const index = new SearchIndex();
let running = false;

function progress() {
  const attachments = [...index.attachments];
  index.attachments.clear();
  postMessage({ progress: { done: index.done, total: index.total, attachments } });
}

async function run() {
  if (running) return;
  running = true;
  try {
    while (index.pending) {
      await index.step(100);
      progress();
      await new Promise((resume) => setTimeout(resume, 0));  // searches are answered in between
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
  } else if (data.search) {
    const hits = index.search(data.search.words);
    postMessage({ answer: { id: data.search.id, hits } }, [hits.buffer]);
  }
};
