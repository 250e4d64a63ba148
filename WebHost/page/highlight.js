// The body of an async function called with the searched text as `text`. Marks each whole word of
// the page that is a word of the search, in any letter case and outside scripts and styles, as the
// highlight "tomelet-search", and answers how many it marked: "dict" marks "dict" but nothing in
// "dictionary". One letter marks nothing, and a page is marked in at most 1000 places. Empty text
// takes the marks away. Highlights leave the page's own elements as they are.
// The engine repaints for a highlight emptied, not for one taken out of the registry.
CSS.highlights.get('tomelet-search')?.clear();
CSS.highlights.delete('tomelet-search');
const words = text.split(/[^\p{L}\p{N}_]+/u).filter(word => word.length > 1)
    .map(word => word.replace(/[.*+?^${}()|[\]\\]/g, '\\$&'));
if (!words.length || !document.body) return 0;
const pattern =
    new RegExp('(?<![\\p{L}\\p{N}_])(?:' + words.join('|') + ')(?![\\p{L}\\p{N}_])', 'giu');
const skipped = new Set(['SCRIPT', 'STYLE', 'TEXTAREA', 'NOSCRIPT', 'TEMPLATE']);
const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT, {
  acceptNode: node => skipped.has(node.parentNode.nodeName) ? NodeFilter.FILTER_REJECT
                                                            : NodeFilter.FILTER_ACCEPT});
const ranges = [];
while (walker.nextNode() && ranges.length < 1000) {
  const node = walker.currentNode;
  for (const match of node.nodeValue.matchAll(pattern)) {
    if (ranges.length >= 1000) break;
    const range = document.createRange();
    range.setStart(node, match.index);
    range.setEnd(node, match.index + match[0].length);
    ranges.push(range);
  }
}
if (ranges.length) CSS.highlights.set('tomelet-search', new Highlight(...ranges));
return ranges.length;
