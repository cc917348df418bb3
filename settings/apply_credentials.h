#pragma once
// Taking over the account and password that the user confirmed in the
// settings dialog.

#include <string_view>

#include "service/session_state.h"
#include "service/shop_credentials.h"

// Puts the typed pair (each at most 127 code units, neither empty) in place
// of the held one. When either text differs from the held one, code unit by
// code unit, a new log-in is requested and the session dropped; an unchanged
// pair requests nothing. True when the pair changed.
bool ApplyTypedCredentials(ShopCredentials& credentials, SessionState& session, std::u16string_view account,
                           std::u16string_view password);
