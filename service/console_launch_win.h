#pragma once
// Opens the web console in the default browser, signed in with a fresh key:
// 1 when it was, 0 when only the start page could be opened. Called from a
// thread with windows (the tray's, or the notice's): the requests run off it
// while it serves its messages, and the browser is opened from it once they
// are done. -1, with nothing opened, when another request is awaited or the
// program ends meanwhile.
int OpenConsoleServingMessages();
