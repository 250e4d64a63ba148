// Esc belongs to a field the reader types in, so the host is told whether the element with the
// keyboard, followed into same-origin frames, takes text. Every frame reports once focus settles.
(function () {
  const textless = ['button', 'checkbox', 'color', 'file', 'hidden', 'image', 'radio',
                    'range', 'reset', 'submit'];
  const editable = function (element) {
    try {
      while (element && (element.tagName === 'IFRAME' || element.tagName === 'FRAME'))
        element = element.contentDocument.activeElement;
    } catch (e) { return false; }
    if (!element) return false;
    if (element.isContentEditable || element.tagName === 'TEXTAREA'
        || element.tagName === 'SELECT') return true;
    return element.tagName === 'INPUT' && !textless.includes(element.type);
  };
  const report = function () {
    setTimeout(function () {
      let top = null;
      try { top = window.top.document.activeElement; } catch (e) {}
      window.webkit.messageHandlers.tomeletEditing.postMessage(editable(top));
    }, 0);
  };
  document.addEventListener('focusin', report, true);
  document.addEventListener('focusout', report, true);
})();
