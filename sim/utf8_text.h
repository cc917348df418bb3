#pragma once
// Texts that reach the simulator from outside (query values, headers, script
// lines) are arbitrary bytes. What it keeps as a name or an entry must be
// well-formed UTF-8, so that every JSON and HTML page built from it is too.

#include <string>

bool IsValidUtf8(const std::string& text);

// Every byte that does not start a well-formed sequence becomes U+FFFD.
std::string ToValidUtf8(const std::string& text);
