// Without a window system there is no web browser control.
#include "controls/web_browser_with_ui.h"

bool WebBrowserAvailable() { return false; }
