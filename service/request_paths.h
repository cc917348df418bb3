#pragma once
// Request paths and console URLs. The account and password travel
// percent-encoded as UTF-8; identifiers the service issued itself
// (session id, shop id, console key) are inserted verbatim.

#include <string>

std::u16string BuildLoginPath(const char16_t* account, const char16_t* password);
std::u16string BuildPollPath(const char16_t* shop_id, const char16_t* session_id);
std::u16string BuildKeyPath(const char16_t* session_id);
// Full http:// URLs on the web console host.
std::u16string BuildConsoleEntryUrl(const std::u16string& key);
std::u16string BuildConsoleStartUrl();
