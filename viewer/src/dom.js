// Elements made from text, never from markup.
export const $ = (id) => document.getElementById(id);

export function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (value == null) continue;
    if (name === 'text') node.textContent = value;
    else if (name.startsWith('on')) node.addEventListener(name.slice(2), value);
    else node.setAttribute(name, value);
  }
  for (const child of children) if (child != null) node.append(child);
  return node;
}

// A text with the given [start, end) ranges marked.
export function marked(text, ranges) {
  const fragment = document.createDocumentFragment();
  let at = 0;
  for (const [start, end] of ranges) {
    if (start > at) fragment.append(text.slice(at, start));
    fragment.append(element('mark', { text: text.slice(start, end) }));
    at = end;
  }
  if (at < text.length) fragment.append(text.slice(at));
  return fragment;
}
