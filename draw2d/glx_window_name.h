// How a window of the GLX driver introduces itself to the window manager, docks and
// task lists: its title (WM_NAME, and _NET_WM_NAME in UTF-8), its class (WM_CLASS),
// which groups the program's windows and matches its menu entry, and the program
// icon (_NET_WM_ICON). Xlib stays inside glx_window_name.cpp.
#pragma once

struct _XDisplay;

// Sets the properties from AppTitle, AppClass and the program icon. Called before
// the window is mapped: window managers read the class when they take a window on.
void NameWindow(_XDisplay* display, unsigned long window);
