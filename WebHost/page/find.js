// The body of an async function called with `action`, `text` and `matchCase` (1 or 0); it answers
// "<current> <total>" (current counted from 1, 0 without matches). "find" looks for text afresh
// and makes the first match at or below the top of the view the current one ("find-backwards":
// the last match above the bottom of the view); "next" and "previous" step from the current match,
// wrapping at the ends; "clear" takes every mark away. The matches are painted as highlights,
// so the page's own elements and scripts are left as they are, and same-origin frames are searched
// where they stand in their page.
const limit = 1000;
const state = window.tomeletFind ??= {matches: [], current: -1, documents: [], text: null};
// The page's text is read once and again only after the page changed, so that each key typed in
// the bar costs a match over it, not a walk through the page.
state.observer ??= new MutationObserver(() => { state.text = null; });

// Marks are changed by emptying and filling the highlights in place: the engine repaints for
// that, not for a highlight taken out of the registry.
const show = (view, name, ranges, priority) => {
  let highlight = view.CSS.highlights.get(name);
  if (!highlight) {
    highlight = new view.Highlight();
    highlight.priority = priority;
    view.CSS.highlights.set(name, highlight);
  }
  highlight.clear();
  for (const range of ranges) highlight.add(range);
};

const forget = () => {
  for (const doc of state.documents) {
    if (!doc.defaultView) continue;  // a frame taken out of its page since the search
    show(doc.defaultView, 'tomelet-find', [], 1);
    show(doc.defaultView, 'tomelet-find-current', [], 2);
  }
  state.matches = [];
  state.current = -1;
};

// Text of the documents as one string per run of text in the same block, so that a match may
// span "<b>bold</b> words" but never two paragraphs; a zero character stands between blocks.
const inline = new Set(['A', 'ABBR', 'B', 'BDI', 'BDO', 'BIG', 'CITE', 'CODE', 'DATA', 'DEL',
  'DFN', 'EM', 'FONT', 'I', 'INS', 'KBD', 'LABEL', 'MARK', 'NOBR', 'Q', 'S', 'SAMP', 'SMALL',
  'SPAN', 'STRIKE', 'STRONG', 'SUB', 'SUP', 'TIME', 'TT', 'U', 'VAR']);
const skipped = new Set(['SCRIPT', 'STYLE', 'NOSCRIPT', 'TEMPLATE', 'TEXTAREA', 'SELECT', 'TITLE',
  'HEAD']);
const blockOf = node => {
  let element = node.parentElement;
  while (element && inline.has(element.tagName)) element = element.parentElement;
  return element;
};
const collect = (doc, pieces) => {
  state.documents.push(doc);
  const root = doc.body || doc.documentElement;
  if (!root) return;
  const walker = doc.createTreeWalker(root, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT, {
    acceptNode: node => node.nodeType === Node.ELEMENT_NODE && skipped.has(node.tagName)
        ? NodeFilter.FILTER_REJECT : NodeFilter.FILTER_ACCEPT});
  while (walker.nextNode()) {
    const node = walker.currentNode;
    if (node.nodeType === Node.TEXT_NODE) {
      pieces.push({node, block: blockOf(node)});
    } else if (node.tagName === 'IFRAME' || node.tagName === 'FRAME') {
      let inner = null;
      try { inner = node.contentDocument; } catch (e) {}
      if (inner) collect(inner, pieces);
    }
  }
};

const pattern = () => {
  const parts = text.split(/(\s+)/u).filter(part => part.length).map(part =>
      /^\s+$/u.test(part) ? '\\s+' : part.replace(/[.*+?^${}()|[\]\\]/g, '\\$&'));
  return new RegExp(parts.join(''), matchCase ? 'gu' : 'giu');
};

const readText = () => {
  state.documents = [];
  const pieces = [];
  collect(document, pieces);
  let joined = '';
  const starts = [];
  let block;
  for (const piece of pieces) {
    if (joined.length && piece.block !== block) joined += '\0';
    block = piece.block;
    starts.push(joined.length);
    joined += piece.node.nodeValue;
  }
  state.observer.disconnect();
  for (const doc of state.documents)
    state.observer.observe(doc, {childList: true, characterData: true, subtree: true});
  return {pieces, starts, joined};
};

const search = () => {
  forget();
  if (!/\S/u.test(text)) return;
  const {pieces, starts, joined} = state.text ??= readText();
  // The piece holding character at of the joined text, by halving.
  const pieceAt = at => {
    let low = 0, high = starts.length - 1;
    while (low < high) {
      const middle = (low + high + 1) >> 1;
      if (starts[middle] <= at) low = middle; else high = middle - 1;
    }
    return low;
  };
  for (const found of joined.matchAll(pattern())) {
    if (!found[0].length) continue;
    const first = pieceAt(found.index);
    const last = pieceAt(found.index + found[0].length - 1);
    const range = pieces[first].node.ownerDocument.createRange();
    range.setStart(pieces[first].node, found.index - starts[first]);
    range.setEnd(pieces[last].node, found.index + found[0].length - starts[last]);
    if (range.getClientRects().length === 0) continue;
    state.matches.push(range);
    if (state.matches.length > limit) break;
  }
};

// Where a match stands in the top page's view, through the frames that hold it.
const placeOf = range => {
  const box = range.getBoundingClientRect();
  let top = box.top, bottom = box.bottom;
  for (let view = range.startContainer.ownerDocument.defaultView; view !== window;
       view = view.parent) {
    const frame = view.frameElement.getBoundingClientRect();
    top += frame.top;
    bottom += frame.top;
  }
  return {top, bottom};
};

const firstInView = backwards => {
  const shown = state.matches.slice(0, limit).map(placeOf);
  if (backwards) {
    for (let i = shown.length - 1; i >= 0; --i)
      if (shown[i].top < innerHeight) return i;
    return shown.length - 1;
  }
  const index = shown.findIndex(place => place.bottom > 0);
  return index < 0 ? 0 : index;
};

const reveal = range => {
  const place = placeOf(range);
  const box = range.getBoundingClientRect();
  const view = range.startContainer.ownerDocument.defaultView;
  if (place.top >= 0 && place.bottom <= innerHeight && box.top >= 0
      && box.bottom <= view.innerHeight) return;
  range.startContainer.parentElement.scrollIntoView(
      {block: 'center', inline: 'nearest', behavior: 'instant'});
  const again = range.getBoundingClientRect();
  if (again.top < 0 || again.bottom > view.innerHeight)
    view.scrollBy({top: again.top - view.innerHeight / 2, behavior: 'instant'});
};

const paint = () => {
  const current = state.matches[state.current];
  for (const doc of state.documents) {
    const view = doc.defaultView;
    if (!view) continue;
    const inDoc = state.matches.slice(0, limit)
        .filter(range => range.startContainer.ownerDocument === doc);
    // Above the searched words' marks, the current match above the others.
    show(view, 'tomelet-find', inDoc.filter(range => range !== current), 1);
    show(view, 'tomelet-find-current', inDoc.filter(range => range === current), 2);
  }
  if (current) {
    reveal(current);
    state.shownAt = scrollY;
  }
};

// A view made smaller after a match was shown (the bar taking its place above the page, the
// window resized) can hide it at the foot of the page: unless the reader has scrolled since, the
// match is shown again.
if (!state.watchesSize) {
  state.watchesSize = true;
  addEventListener('resize', () => {
    const current = state.matches[state.current];
    if (current && state.shownAt === scrollY) reveal(current);
  });
}

if (action === 'clear') {
  forget();
} else {
  if (action === 'find' || action === 'find-backwards') {
    search();
    state.current = state.matches.length ? firstInView(action === 'find-backwards') : -1;
  } else if (state.matches.length) {
    const count = Math.min(state.matches.length, limit);
    state.current = (state.current + (action === 'previous' ? count - 1 : 1)) % count;
  }
  paint();
}
return (state.current + 1) + ' ' + state.matches.length;
