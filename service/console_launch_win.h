#pragma once
// Opens the web console in the default browser, signed in with a fresh key:
// 1 when it was, 0 when only the start page could be opened.
int OpenConsole();
