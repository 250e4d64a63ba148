// The host keeps the page's scroll position, so closing can remember it without asking the page.
(function () {
  let pending = false;
  addEventListener('scroll', function () {
    if (pending) return;
    pending = true;
    setTimeout(function () {
      pending = false;
      window.webkit.messageHandlers.tomeletScroll.postMessage(
          Math.round(scrollX) + ' ' + Math.round(scrollY));
    }, 100);
  });
})();
