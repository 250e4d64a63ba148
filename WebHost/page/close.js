// Pages that navigated before calling window.close() are not allowed to close the view by the
// engine, yet the viewer must hear about every such call, so the call is routed to the host.
window.close = function () {
  window.webkit.messageHandlers.tomeletClose.postMessage(null);
};
