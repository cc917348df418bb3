#include "settings/apply_credentials.h"

#include "text/utf16_text.h"

namespace {

std::u16string_view TextOf(const char16_t (&buffer)[kCredentialCapacity]) {
  return std::u16string_view(buffer, Utf16Length(buffer, kCredentialCapacity));
}

void CopyInto(char16_t (&destination)[kCredentialCapacity], std::u16string_view text) {
  const std::size_t length = text.copy(destination, kCredentialCapacity - 1);
  destination[length] = u'\0';
}

}  // namespace

bool ApplyTypedCredentials(ShopCredentials& credentials, SessionState& session, std::u16string_view account,
                           std::u16string_view password) {
  CredentialPair pair = ReadCredentials(credentials);
  const bool changed = TextOf(pair.account) != account || TextOf(pair.password) != password;
  pair.exists = true;
  CopyInto(pair.account, account);
  CopyInto(pair.password, password);
  // The new pair is in place before the new log-in is asked for: a worker
  // that takes the request then reads the new pair, and one that read the
  // old pair before this write took its request before it was raised, so
  // the request waits for its next cycle.
  WriteCredentials(credentials, pair);
  if (changed) {
    session.reloginRequested = 1;
    ClearSessionId(session);
  }
  return changed;
}
