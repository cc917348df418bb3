#pragma once
// Query strings and form bodies, decoded the way the service's own pages
// decode them.

#include <map>
#include <string>

using QueryParams = std::map<std::string, std::string>;

// %XX (hex digits of either case) becomes its byte and '+' a blank. A '%'
// not followed by two hex digits stays as it is.
std::string PercentDecode(const std::string& text);

// name=value pairs separated by '&', both sides decoded. A pair without '='
// has the empty value; empty pairs are skipped; of two pairs with one name
// the later wins.
QueryParams ParseQuery(const std::string& query);

// The value of name, or nullptr when the query has no such pair.
const std::string* FindParam(const QueryParams& params, const std::string& name);
