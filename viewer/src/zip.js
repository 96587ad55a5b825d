// The container's ZIP, read from the file the user chose: the central
// directory once, a member only when it is needed. ZIP64 records are read
// where the writer put them; nothing is trusted that would read outside the
// file.
import { inflateSync } from 'fflate';

const EOCD = 0x06054b50;
const EOCD64 = 0x06064b50;
const LOCATOR64 = 0x07064b50;
const CENTRAL = 0x02014b50;
const LOCAL = 0x04034b50;
const MAX32 = 0xffffffff;
const BUNDLED_LIMIT = 32 << 20;

export class ZipError extends Error {}

async function bytesOf(file, start, end) {
  if (start < 0 || end > file.size || start > end) throw new ZipError('Die Datei ist kein vollständiges ZIP-Archiv.');
  return new Uint8Array(await file.slice(start, end).arrayBuffer());
}

function u64(view, at) {
  const value = view.getUint32(at, true) + view.getUint32(at + 4, true) * 2 ** 32;
  if (!Number.isSafeInteger(value)) throw new ZipError('Ein Eintrag des Archivs ist zu groß.');
  return value;
}

// The end of central directory: its last record within the final 64 kB.
async function findEnd(file) {
  const tail = await bytesOf(file, Math.max(0, file.size - 65557), file.size);
  const view = new DataView(tail.buffer);
  for (let at = tail.length - 22; at >= 0; --at) {
    if (view.getUint32(at, true) !== EOCD) continue;
    if (at + 22 + view.getUint16(at + 20, true) !== tail.length) continue;
    let count = view.getUint16(at + 10, true);
    let size = view.getUint32(at + 12, true);
    let offset = view.getUint32(at + 16, true);
    if (count === 0xffff || size === MAX32 || offset === MAX32) {
      const locatorAt = at - 20;
      if (locatorAt < 0 || view.getUint32(locatorAt, true) !== LOCATOR64) throw new ZipError('Der ZIP64-Verweis fehlt.');
      const record = u64(view, locatorAt + 8);
      const r = new DataView((await bytesOf(file, record, record + 56)).buffer);
      if (r.getUint32(0, true) !== EOCD64) throw new ZipError('Das ZIP64-Verzeichnisende fehlt.');
      count = u64(r, 32);
      size = u64(r, 40);
      offset = u64(r, 48);
    }
    return { count, size, offset };
  }
  throw new ZipError('Die Datei ist kein ZIP-Archiv.');
}

const utf8 = new TextDecoder('utf-8');

export async function openZip(file) {
  const end = await findEnd(file);
  const directory = await bytesOf(file, end.offset, end.offset + end.size);
  const view = new DataView(directory.buffer);
  const entries = new Map();
  let at = 0;
  for (let i = 0; i < end.count; ++i) {
    if (at + 46 > directory.length || view.getUint32(at, true) !== CENTRAL)
      throw new ZipError('Das Inhaltsverzeichnis des Archivs ist beschädigt.');
    const method = view.getUint16(at + 10, true);
    let compressed = view.getUint32(at + 20, true);
    let size = view.getUint32(at + 24, true);
    const nameLength = view.getUint16(at + 28, true);
    const extraLength = view.getUint16(at + 30, true);
    const commentLength = view.getUint16(at + 32, true);
    let local = view.getUint32(at + 42, true);
    const next = at + 46 + nameLength + extraLength + commentLength;
    if (next > directory.length) throw new ZipError('Das Inhaltsverzeichnis des Archivs ist beschädigt.');
    const name = utf8.decode(directory.subarray(at + 46, at + 46 + nameLength));
    for (let e = at + 46 + nameLength; e + 4 <= at + 46 + nameLength + extraLength;) {
      const id = view.getUint16(e, true);
      const length = view.getUint16(e + 2, true);
      if (id === 1) {
        let f = e + 4;
        if (size === MAX32) (size = u64(view, f)), (f += 8);
        if (compressed === MAX32) (compressed = u64(view, f)), (f += 8);
        if (local === MAX32) local = u64(view, f);
      }
      e += 4 + length;
    }
    entries.set(name, { name, method, compressed, size, local });
    at = next;
  }
  // Reading every member in turn goes through a window of several megabytes:
  // one read of the file costs far more than the bytes it brings.
  let window = null;
  const range = async (start, end, ahead) => {
    if (!ahead) return bytesOf(file, start, end);
    if (!window || start < window.start || end > window.start + window.bytes.length) {
      const last = Math.min(file.size, Math.max(end, start + ahead));
      window = { start, bytes: await bytesOf(file, start, last) };
    }
    return window.bytes.subarray(start - window.start, end - window.start);
  };
  return {
    entries,
    // ahead: bytes to read at once when the next members will be read in order.
    async read(entry, ahead = 0) {
      const header = new DataView((await range(entry.local, entry.local + 30, ahead)).slice().buffer);
      if (header.getUint32(0, true) !== LOCAL) throw new ZipError(`„${entry.name}“ ist beschädigt.`);
      const start = entry.local + 30 + header.getUint16(26, true) + header.getUint16(28, true);
      const raw = await range(start, start + entry.compressed, ahead);
      if (entry.method === 0) return raw;
      if (entry.method !== 8) throw new ZipError(`„${entry.name}“ ist auf eine unbekannte Art gepackt.`);
      // Reading in turn, many small members: the bundled inflater has no stream to set up per member.
      // It needs the whole output at once, so a member that says it is large goes through the stream.
      const out = ahead && entry.size <= BUNDLED_LIMIT ? inflateBundled(raw, entry.size) : await inflate(raw, entry.size);
      if (out.length !== entry.size) throw new ZipError(`„${entry.name}“ ist unvollständig.`);
      return out;
    },
  };
}

// The browser's own inflater where it has one, the bundled one otherwise.
async function inflate(raw, size) {
  if (typeof DecompressionStream === 'function') {
    try {
      const stream = new Blob([raw]).stream().pipeThrough(new DecompressionStream('deflate-raw'));
      return new Uint8Array(await new Response(stream).arrayBuffer());
    } catch {
      // no "deflate-raw" here, or bytes it refuses: the bundled one decides
    }
  }
  return inflateBundled(raw, size);
}

function inflateBundled(raw, size) {
  try {
    return inflateSync(raw, { out: new Uint8Array(size) });
  } catch {
    throw new ZipError('Ein Eintrag des Archivs ist beschädigt.');
  }
}
