// The wall's part of the web view's page (page.h): its styles and its
// script, which draws the "wall" and "tiles" messages (wall_json.h) as a grid
// of tiles that fits the window, with a filter by name. It uses the page
// script's el() and label(): every text from the host goes in as text.
#ifndef VESK_HOST_UI_WEB_PAGE_WALL_H
#define VESK_HOST_UI_WEB_PAGE_WALL_H

// CSS rules, for the page's style element; static storage.
const char* wallStyle();
// The script, for a script element of its own after the page's (whose
// byId, el, label and NOTICE it uses); static storage. It defines
// wallWhole(msg), wallChange(msg) and wallMark(ended, current), which the
// page's script calls as messages come.
const char* wallScript();

#endif  // VESK_HOST_UI_WEB_PAGE_WALL_H
