// What the rest of the program knows of the browser host without a window:
// its host-UI settings, and whether the system's web browser control can
// be created at all here (the advertising fetch tells the banner server
// "IE-Installed: True" or "False" by it).
#pragma once

// How the embedded browser behaves where the host is asked.
struct TEnhancedWebBrowserUI {
  bool EnableScrollBars = true;
  bool EnableFlatScrollBars = false;
  bool EnableContextMenu = true;
  bool Enable3DBorder = true;
};

// Whether the web browser control and the HTML engine behind it can be
// created (asked once; false where the system has none). Any thread.
bool WebBrowserAvailable();
