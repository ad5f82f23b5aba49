// `hubhost window`: the launcher as its users see it. An ordinary top-level window lists the
// plug-in's entries, with the status line under the quick back-up-now link, and starts an entry
// when the user picks it (double click, or Enter on the selected one, or the Open button).
//
// What a launcher author copies from it:
// - the UI thread waits with MsgWaitForMultipleObjects for the status events and for its messages
//   at once; when an event is set it resets the event, then asks for the status anew;
// - an entry runs on the UI thread: the plug-in's actions dispatch the thread's messages while
//   they wait, so the window keeps answering, and a timer checks the events meanwhile, so the
//   status line also changes during a long action;
// - every line it shows is also printed ("shown: <name> | <status>"), so that a script follows it.
#pragma once

#include <windows.h>

#include "launcher.h"

// Runs the window until it is closed (or WM_CLOSE arrives); answers the exit code: 0, or 1 when
// the window could not be made (no display).
int runHubWindow(const CHubPlugin& plugin);

// The window's class name and the list's control id, for programs that look at it.
#define HUB_WINDOW_CLASS L"SkpHubHostWindow"
const int kHubWindowListId = 100;
