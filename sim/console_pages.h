#pragma once
// The web console's pages, small and in UTF-8: what the browser shows after
// the program opens the console with a key, or its start page.

#include <string>

#include "sim/service_model.h"

std::string ConsoleStartPage();
// The signed-in shop's waiting requests, one list per category.
std::string ConsoleRequestsPage(const std::string& shop_id, const PendingEntries& entries);
// A key that is unknown, spent or missing.
std::string ConsoleKeyRefusedPage();
std::string NotFoundPage();

// text with &, <, >, " and ' replaced by their character references.
std::string EscapeHtml(const std::string& text);
