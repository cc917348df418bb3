#pragma once
// Request paths and console URLs. The account and password travel
// percent-encoded as UTF-8, the console key percent-encoded byte by byte;
// the session id and shop id the service issued are inserted verbatim.
//
// Each result is held to the limit below, in code units with room for a
// terminator. A builder whose result would be longer returns the empty text,
// and the caller sends nothing: a cut path would carry a different account,
// password or identifier.

#include <cstddef>
#include <string>

constexpr std::size_t kLoginPathCapacity = 1024;
constexpr std::size_t kRequestPathCapacity = 1026;  // every other path and URL

// In the login path every UTF-8 byte of the account and the password outside
// A-Z a-z 0-9 - . _ ~ becomes %XX (upper-case hex); a surrogate without its
// partner travels as U+FFFD.
std::u16string BuildLoginPath(const char16_t* account, const char16_t* password);
std::u16string BuildPollPath(const char16_t* shop_id, const char16_t* session_id);
std::u16string BuildKeyPath(const char16_t* session_id);
// Full http:// URLs on the web console host. Every byte of the key (one
// widened byte per code unit) outside A-Z a-z 0-9 - . _ ~ becomes %XX: a
// blank, a quote or a '#' from the service never reaches the browser's
// command line as such.
std::u16string BuildConsoleEntryUrl(const std::u16string& key);
std::u16string BuildConsoleStartUrl();
