// The body of an async function called with the searched text as `text`. Wraps each word of the
// page that begins with a word of the search in <mark>, outside scripts and styles, and answers
// how many it marked. A short word must match whole, or "re" would mark every "read"; one letter
// marks nothing, and a page is marked in at most 1000 places.
const words = text.split(/[^\p{L}\p{N}_]+/u).filter(word => word.length > 1)
    .map(word => word.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')
                 + (word.length <= 3 ? '(?![\\p{L}\\p{N}_])' : ''));
if (!words.length || !document.body) return 0;
const pattern = new RegExp('(?<![\\p{L}\\p{N}_])(?:' + words.join('|') + ')', 'giu');
const skipped = new Set(['SCRIPT', 'STYLE', 'TEXTAREA', 'NOSCRIPT', 'MARK']);
const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT, {
  acceptNode: node => skipped.has(node.parentNode.nodeName) ? NodeFilter.FILTER_REJECT
                                                            : NodeFilter.FILTER_ACCEPT});
const nodes = [];
while (walker.nextNode()) nodes.push(walker.currentNode);
let marked = 0;
for (const node of nodes) {
  if (marked >= 1000) break;
  const value = node.nodeValue;
  const found = [...value.matchAll(pattern)];
  if (!found.length) continue;
  const pieces = document.createDocumentFragment();
  let last = 0;
  for (const match of found) {
    pieces.append(value.slice(last, match.index));
    const mark = document.createElement('mark');
    mark.className = 'tomelet-search-hit';
    mark.textContent = match[0];
    pieces.append(mark);
    last = match.index + match[0].length;
    ++marked;
  }
  pieces.append(value.slice(last));
  node.replaceWith(pieces);
}
return marked;
