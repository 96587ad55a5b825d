// What the search needs of one message, read fast: the text of its text
// parts (HTML as its words) and the names of its attachments. Attachment
// bodies are skipped, not decoded: they are most of an archive's bytes and
// none of its words. The bytes are looked at as a one-byte string, so that
// a string index is a byte index; text is decoded from the bytes in its own
// charset.

const latin1 = new TextDecoder('latin1');
const strictUtf8 = new TextDecoder('utf-8', { fatal: true });
const decoders = new Map();
const MAX_DEPTH = 30;

function decoderFor(charset) {
  const label = (charset || 'utf-8').toLowerCase();
  if (!decoders.has(label)) {
    let decoder;
    try {
      decoder = new TextDecoder(label === 'us-ascii' || label === 'ascii' ? 'windows-1252' : label);
    } catch {
      decoder = new TextDecoder('windows-1252');
    }
    decoders.set(label, decoder);
  }
  return decoders.get(label);
}

// A header block as name → first value, lines unfolded; read as UTF-8 (raw
// names in mails are that, or ASCII with encoded words).
function headersOf(bytes) {
  const text = new TextDecoder('utf-8').decode(bytes).replace(/\r?\n[ \t]+/g, ' ');
  const headers = new Map();
  for (const line of text.split(/\r?\n/)) {
    const colon = line.indexOf(':');
    if (colon <= 0) continue;
    const name = line.slice(0, colon).trim().toLowerCase();
    if (!headers.has(name)) headers.set(name, line.slice(colon + 1).trim());
  }
  return headers;
}

// "text/html; charset=utf-8; name*0*=..." → { value, params }; RFC 2231 continuations joined.
function structured(value) {
  const [head, ...rest] = String(value || '').split(';');
  const pieces = new Map();
  for (const item of rest) {
    const eq = item.indexOf('=');
    if (eq < 0) continue;
    let key = item.slice(0, eq).trim().toLowerCase();
    let text = item.slice(eq + 1).trim();
    if (text.startsWith('"')) text = text.replace(/^"|"$/g, '').replace(/\\(.)/g, '$1');
    const match = key.match(/^([^*]+)(?:\*(\d+))?(\*)?$/);
    if (!match) continue;
    const [, base, index = '0', encoded] = match;
    if (!pieces.has(base)) pieces.set(base, []);
    pieces.get(base)[Number(index)] = { text, encoded: Boolean(encoded) };
  }
  const params = new Map();
  for (const [key, parts] of pieces) {
    const list = parts.filter(Boolean);
    if (!list.some((p) => p.encoded)) {
      params.set(key, decodeWords(list.map((p) => p.text).join('')));
      continue;
    }
    let charset = 'utf-8';
    const joined = list.map((p, i) => {
      let text = p.text;
      if (i === 0 && p.encoded) {
        const quote = text.split("'");
        if (quote.length >= 3) (charset = quote[0] || charset), (text = quote.slice(2).join("'"));
      }
      return text;
    }).join('');
    params.set(key, decodePercent(joined, charset));
  }
  return { value: head.trim().toLowerCase(), params };
}

function decodePercent(text, charset) {
  const bytes = [];
  for (let i = 0; i < text.length; ++i) {
    if (text[i] === '%' && /^[0-9a-f]{2}$/i.test(text.slice(i + 1, i + 3))) bytes.push(parseInt(text.slice(i + 1, i + 3), 16)), (i += 2);
    else for (const b of new TextEncoder().encode(text[i])) bytes.push(b);
  }
  return decoderFor(charset).decode(new Uint8Array(bytes));
}

// RFC 2047 encoded words: =?charset?B?...?= and =?charset?Q?...?=.
export function decodeWords(text) {
  return String(text).replace(/=\?([^?\s]+)\?([bq])\?([^?\s]*)\?=(\s+(?==\?))?/gi, (whole, charset, kind, data) => {
    try {
      const bytes = kind.toLowerCase() === 'b'
        ? Uint8Array.from(atob(data.replace(/[^A-Za-z0-9+/]/g, '')), (c) => c.charCodeAt(0))
        : quotedPrintable(Uint8Array.from(data.replace(/_/g, ' '), (c) => c.charCodeAt(0) & 0xff));
      return decoderFor(charset.split('*')[0]).decode(bytes);
    } catch {
      return whole;
    }
  });
}

const hex = (b) => (b >= 48 && b <= 57 ? b - 48 : b >= 65 && b <= 70 ? b - 55 : b >= 97 && b <= 102 ? b - 87 : -1);

function quotedPrintable(bytes) {
  const out = new Uint8Array(bytes.length);
  let n = 0;
  for (let i = 0; i < bytes.length; ++i) {
    const b = bytes[i];
    if (b === 61) {  // "="
      if (bytes[i + 1] === 13 && bytes[i + 2] === 10) { i += 2; continue; }
      if (bytes[i + 1] === 10) { i += 1; continue; }
      const high = hex(bytes[i + 1]);
      const low = hex(bytes[i + 2]);
      if (high >= 0 && low >= 0) { out[n++] = high * 16 + low; i += 2; continue; }
    }
    out[n++] = b;
  }
  return out.subarray(0, n);
}

function bodyBytes(bytes, string, start, end, encoding) {
  if (encoding === 'base64') {
    const clean = string.slice(start, end).replace(/[^A-Za-z0-9+/]/g, '');
    try {
      // atob takes unpadded input; a lone sixth of a byte at the end is nothing.
      return Uint8Array.from(atob(clean.length % 4 === 1 ? clean.slice(0, -1) : clean), (c) => c.charCodeAt(0));
    } catch {
      return new Uint8Array(0);
    }
  }
  const raw = bytes.subarray(start, end);
  return encoding === 'quoted-printable' ? quotedPrintable(raw) : raw;
}

// The end of the headers: the first empty line, or the first line that is
// neither a field nor a field's continuation (that line is body already).
const FIELD = /^[!-9;-~]+[ \t]*:/;

function headerEnd(string, start, end) {
  let at = start;
  while (at < end) {
    let lineEnd = string.indexOf('\n', at);
    if (lineEnd < 0 || lineEnd >= end) lineEnd = end;
    const line = string.slice(at, lineEnd).replace(/\r$/, '');
    if (!line) return [at, Math.min(end, lineEnd + 1)];
    if (at > start && (line[0] === ' ' || line[0] === '\t')) {
      at = lineEnd + 1;
      continue;
    }
    if (!FIELD.test(line)) return [at, at];
    at = lineEnd + 1;
  }
  return [end, end];
}

// Text in its charset; text said to be UTF-8 (or said nothing) that is not is read as windows-1252.
function decodeText(bytes, charset) {
  if (bytes[0] === 0xff && bytes[1] === 0xfe) return decoderFor('utf-16le').decode(bytes);
  if (bytes[0] === 0xfe && bytes[1] === 0xff) return decoderFor('utf-16be').decode(bytes);
  const label = (charset || 'utf-8').toLowerCase();
  if (label === 'utf-8' || label === 'utf8') {
    try {
      return strictUtf8.decode(bytes);
    } catch {
      return decoderFor('windows-1252').decode(bytes);
    }
  }
  if (label === 'utf-16' && !(bytes[0] === 0xff && bytes[1] === 0xfe) && !(bytes[0] === 0xfe && bytes[1] === 0xff)) {
    // No byte order mark: text mostly in Latin letters has its zero bytes first in big-endian.
    let even = 0;
    let odd = 0;
    for (let i = 0; i + 1 < bytes.length && i < 4096; i += 2) (even += bytes[i] === 0), (odd += bytes[i + 1] === 0);
    return decoderFor(even > odd ? 'utf-16be' : 'utf-16le').decode(bytes);
  }
  return decoderFor(label).decode(bytes);
}

function part(bytes, string, start, end, depth, out, parentDigest) {
  const [headEnd, bodyStart] = headerEnd(string, start, end);
  const headers = headersOf(bytes.subarray(start, headEnd));
  const type = structured(headers.get('content-type') || (parentDigest ? 'message/rfc822' : 'text/plain'));
  const disposition = structured(headers.get('content-disposition'));
  const encoding = (headers.get('content-transfer-encoding') || '').trim().toLowerCase().split(/[\s;(]/)[0];
  const name = disposition.params.get('filename') || type.params.get('name') || '';
  const attached = disposition.value === 'attachment';
  // An attached message is searched by its people and subject as well as its text.
  if (depth > 0 && headers.has('from')) {
    for (const field of ['subject', 'from', 'to', 'cc']) if (headers.has(field)) out.texts.push({ text: decodeWords(headers.get(field)) });
  }
  if (type.value.startsWith('multipart/') && type.params.get('boundary') && depth < MAX_DEPTH) {
    const delimiter = `--${type.params.get('boundary')}`;
    let at = string.startsWith(delimiter, bodyStart) ? bodyStart : string.indexOf(`\n${delimiter}`, bodyStart);
    if (at !== bodyStart && at >= 0) at += 1;
    while (at >= 0 && at < end) {
      if (string.startsWith(`${delimiter}--`, at)) break;
      const lineEnd = string.indexOf('\n', at);
      if (lineEnd < 0 || lineEnd >= end) break;
      let next = string.indexOf(`\n${delimiter}`, lineEnd);
      if (next < 0 || next > end) next = end;
      const partEnd = next > 0 && string[next - 1] === '\r' ? next - 1 : next;
      part(bytes, string, lineEnd + 1, Math.max(lineEnd + 1, partEnd), depth + 1, out, type.value === 'multipart/digest');
      at = next < end ? next + 1 : -1;
    }
    return;
  }
  if (name) out.names.push(name);
  if (type.value === 'message/rfc822' && depth < MAX_DEPTH) {
    if (attached) ++out.attachments;
    const inner = bodyBytes(bytes, string, bodyStart, end, encoding);
    const innerString = inner === bytes || inner.buffer === bytes.buffer ? null : latin1.decode(inner);
    if (innerString == null) part(bytes, string, bodyStart, end, depth + 1, out, false);
    else part(inner, innerString, 0, inner.length, depth + 1, out, false);
    return;
  }
  // A multipart without its boundary has no parts to find: it is read as text.
  const textual = type.value === 'text/plain' || type.value === 'text/html' || type.value === '' || type.value.startsWith('multipart/');
  if (textual && !attached) {
    const text = decodeText(bodyBytes(bytes, string, bodyStart, end, encoding), type.params.get('charset'));
    out.texts.push(type.value === 'text/html' ? { html: text } : { text });
    return;
  }
  if (attached || !headers.get('content-id')) ++out.attachments;
}

// { texts: [{ text } | { html }], names: [...], attachments: count }
export function mimeWords(bytes) {
  const out = { texts: [], names: [], attachments: 0 };
  part(bytes, latin1.decode(bytes), 0, bytes.length, 0, out, false);
  return out;
}
