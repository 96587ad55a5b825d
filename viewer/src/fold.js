// Words as the search compares them: case folded, German spellings folded
// (ä = ae, ö = oe, ü = ue, ß = ss) and diacritics dropped, so that "Müller",
// "Mueller" and "muller" all find "Müller". A word of the archive is kept in
// both spellings of its umlauts; a word the user types is folded the first
// way only, and matches where it begins a kept word.

const WORD = /[\p{L}\p{N}]+/gu;
const MARKS = /[\u0300-\u036f]/g;
const UMLAUTS = { ä: 'ae', ö: 'oe', ü: 'ue' };

function plain(text) {
  return text.normalize('NFD').replace(MARKS, '');
}

// The two spellings of one word: umlauts written out, and umlauts without dots.
// Mails repeat their words, so the answers are kept for a while.
const known = new Map();
const ASCII_WORD = /^[a-z0-9]*$/;

export function foldForms(word) {
  let forms = known.get(word);
  if (forms) return forms;
  if (known.size > 200000) known.clear();
  const lower = word.toLowerCase();
  forms = ASCII_WORD.test(lower) ? [lower] : foldSlowly(word);
  known.set(word, forms);
  return forms;
}

function foldSlowly(word) {
  const lower = word.toLowerCase().replace(/ß/g, 'ss').replace(/ẞ/g, 'ss').normalize('NFC');
  const spelled = plain(lower.replace(/[äöü]/g, (c) => UMLAUTS[c]));
  const bare = plain(lower);
  return spelled === bare ? [spelled] : [spelled, bare];
}

export function wordsOf(text) {
  return String(text || '').match(WORD) || [];
}

// The words the user typed, in any order, folded; each must begin a word of the mail.
export function queryWords(text) {
  const words = new Set();
  for (const word of wordsOf(text)) words.add(foldForms(word)[0]);
  return [...words];
}

// Adds the folded forms of every word of a text to a set.
export function addWords(set, text) {
  for (const word of wordsOf(text)) for (const form of foldForms(word)) set.add(form);
}

// A set of words as one string the search scans: " wort1 wort2 ".
export function haystackOf(set) {
  return set.size ? ` ${[...set].join(' ')} ` : ' ';
}

export function matchesAll(haystack, words) {
  for (const word of words) if (!haystack.includes(' ' + word)) return false;
  return true;
}

// Where a text's words begin one of the query's: [start, end) of whole words, to mark them.
export function hitRanges(text, words) {
  const ranges = [];
  if (!words.length) return ranges;
  for (const match of String(text || '').matchAll(WORD)) {
    if (foldForms(match[0]).some((form) => words.some((word) => form.startsWith(word))))
      ranges.push([match.index, match.index + match[0].length]);
  }
  return ranges;
}
