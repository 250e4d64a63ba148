// Keeps the element at the top of the view in place while the text size changes: "remember"
// notes it and how far it stands below the top; "restore" scrolls it back there.
(function (step) {
  if (step === 'remember') {
    let element = document.elementFromPoint(innerWidth / 2, 1);
    while (element && element !== document.body && element.getClientRects().length === 0)
      element = element.parentElement;
    window.tomeletPlace = element && element !== document.body && element !== document.documentElement
        ? {element: element, top: element.getBoundingClientRect().top}
        : null;
  } else if (window.tomeletPlace) {
    const place = window.tomeletPlace;
    window.tomeletPlace = null;
    scrollBy(0, place.element.getBoundingClientRect().top - place.top);
  }
})
