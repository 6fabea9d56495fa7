// The web view's page: one HTML document holding its styles and script, so
// that it needs nothing from the network (no CDN, no web font). It connects
// to /events, draws each "view" and "lines" message (page_json.h) with
// textContent only, and connects again by itself when the host goes away.
#ifndef VESK_HOST_UI_WEB_PAGE_H
#define VESK_HOST_UI_WEB_PAGE_H

// The page, UTF-8, NUL-terminated; static storage.
const char* webPage();

#endif  // VESK_HOST_UI_WEB_PAGE_H
