// One archived message: read with postal-mime, its HTML made harmless for a
// sandboxed frame, its pictures handed in as data: URLs (a sandboxed frame
// cannot use the page's blob: URLs), everything else offered to save.
import PostalMime from 'postal-mime';

// The archive's pictures are found by the Content-Location the HTML uses,
// which postal-mime reads but does not hand out.
class ArchiveParser extends PostalMime {
  collectAttachment(node, content, related, depthExceeded) {
    const before = this.attachments.length;
    super.collectAttachment(node, content, related, depthExceeded);
    if (this.attachments.length === before) return;
    const location = (node.headers || []).find((h) => h.key === 'content-location');
    if (location) this.attachments[this.attachments.length - 1].contentLocation = location.value.trim();
  }
}

export async function parseMail(bytes) {
  return new ArchiveParser().parse(bytes);
}

function base64(bytes) {
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  return btoa(text);
}

const PICTURE = /^image\/(png|jpe?g|gif|bmp|webp|x-icon|vnd\.microsoft\.icon|tiff)$/;

function contentIdOf(attachment) {
  return (attachment.contentId || '').replace(/^<|>$/g, '').trim();
}

// Which attachments the HTML shows as pictures, by the names it uses for them.
export function picturesOf(email) {
  const byName = new Map();
  for (const a of email.attachments) {
    const type = (a.mimeType || '').split(';')[0].trim();
    if (!PICTURE.test(type)) continue;
    const bytes = new Uint8Array(a.content);
    const url = () => `data:${type};base64,${base64(bytes)}`;
    if (a.contentLocation) byName.set(a.contentLocation, { attachment: a, url });
    const id = contentIdOf(a);
    if (id) byName.set(`cid:${id}`, { attachment: a, url });
  }
  return byName;
}

const DROPPED = 'script,iframe,frame,frameset,object,embed,applet,link,base,form,meta,noscript,portal,template';

function decodedOrSame(text) {
  try {
    return decodeURI(text);
  } catch {
    return text;
  }
}

// The mail's HTML as a document a sandboxed frame shows: no script, no
// form, no refresh, nothing loaded from outside (its own pictures come in
// as data: URLs); links keep their address as a tooltip but lead nowhere.
export function harmlessHtml(html, pictures, used) {
  const doc = new DOMParser().parseFromString(html, 'text/html');
  for (const element of doc.querySelectorAll(DROPPED)) element.remove();
  for (const element of doc.querySelectorAll('*')) {
    for (const attribute of [...element.attributes]) {
      const name = attribute.name.toLowerCase();
      const value = attribute.value.trim();
      if (name.startsWith('on') || name === 'srcset' || name === 'formaction' || name === 'ping') {
        element.removeAttribute(attribute.name);
      } else if (name === 'src' || name === 'background' || name === 'poster' || name === 'xlink:href' ||
                 (name === 'href' && element.localName !== 'a' && element.localName !== 'area')) {
        const picture = pictures.get(value) || pictures.get(decodedOrSame(value));
        if (picture) {
          used.add(picture.attachment);
          element.setAttribute(attribute.name, picture.url());
        } else {
          element.removeAttribute(attribute.name);
        }
      } else if (name === 'href') {
        element.setAttribute('title', value);
        element.removeAttribute(attribute.name);
      } else if (name === 'style' && /url\s*\(|expression\s*\(|@import/i.test(value)) {
        element.removeAttribute(attribute.name);
      }
    }
  }
  for (const style of doc.querySelectorAll('style')) {
    style.textContent = style.textContent.replace(/@import[^;]*;?/gi, '').replace(/url\s*\([^)]*\)/gi, 'none');
  }
  // The frame's own policy, on top of the page's and the sandbox.
  const policy = doc.createElement('meta');
  policy.setAttribute('http-equiv', 'Content-Security-Policy');
  policy.setAttribute('content', "default-src 'none'; img-src data:; style-src 'unsafe-inline'; font-src data:");
  doc.head.prepend(policy);
  const charset = doc.createElement('meta');
  charset.setAttribute('charset', 'utf-8');
  doc.head.prepend(charset);
  return '<!DOCTYPE html>' + doc.documentElement.outerHTML;
}

export function escapeHtml(text) {
  return String(text).replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

// A plain-text body in the same kind of frame.
export function textAsHtml(text) {
  return (
    '<!DOCTYPE html><html><head><meta charset="utf-8">' +
    `<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'">` +
    '<style>body{font:14px/1.45 system-ui,sans-serif;white-space:pre-wrap;overflow-wrap:anywhere;margin:12px}</style>' +
    `</head><body>${escapeHtml(text)}</body></html>`
  );
}
