// The Account and Password values in the user's registry, which any program
// of the same user can write. Input layout: one byte of flags (bit 0: the
// key is missing, bit 1: Account is missing, bit 2: Password is missing),
// two bytes of the Account value's length (low byte first), the Account
// value's bytes, then the Password value's bytes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_invariant.h"
#include "settings/credential_store.h"
#include "text/utf16_text.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The credential key in memory. A value larger than the reader offers is
// refused, as the registry refuses it.
class MemoryRegistry : public CredentialRegistry {
 public:
  bool keyExists = true;
  std::map<std::u16string, Bytes> values;

  bool OpenForRead() override { return keyExists; }
  OpenResult OpenForWrite() override { return keyExists ? OpenResult::Opened : OpenResult::NotFound; }
  bool CreateKey() override {
    keyExists = true;
    return true;
  }
  std::optional<Bytes> ReadValue(const char16_t* name, std::size_t max_bytes) override {
    const auto found = values.find(name);
    if (found == values.end() || found->second.size() > max_bytes) return std::nullopt;
    return found->second;
  }
  void WriteString(const char16_t* name, const Bytes& bytes) override { values[name] = bytes; }
  void WriteBinary(const char16_t* name, const Bytes& bytes) override { values[name] = bytes; }
  void Close() override {}
};

MemoryRegistry RegistryOf(const std::uint8_t* data, std::size_t size) {
  MemoryRegistry registry;
  const std::uint8_t flags = size > 0 ? data[0] : 0;
  const std::size_t declared = size > 2 ? data[1] | (data[2] << 8) : 0;
  const std::size_t rest = size > 3 ? size - 3 : 0;
  const std::uint8_t* account = data + std::min<std::size_t>(size, 3);
  const std::size_t accountBytes = std::min(declared, rest);
  registry.keyExists = (flags & 1) == 0;
  if ((flags & 2) == 0) registry.values[kAccountValueName] = Bytes(account, account + accountBytes);
  if ((flags & 4) == 0) registry.values[kPasswordValueName] = Bytes(account + accountBytes, account + rest);
  return registry;
}

void Hold(ShopCredentials& credentials, const char16_t* account, const char16_t* password) {
  CredentialPair pair;
  pair.exists = true;
  std::u16string(account).copy(pair.account, kCredentialCapacity - 1);
  std::u16string(password).copy(pair.password, kCredentialCapacity - 1);
  WriteCredentials(credentials, pair);
}

bool Terminated(const char16_t* text) {
  return Utf16Length(text, kCredentialCapacity) < static_cast<std::size_t>(kCredentialCapacity);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryRegistry registry = RegistryOf(data, size);
  ShopCredentials credentials;
  Hold(credentials, u"held", u"pass");

  const int result = LoadCredentials(registry, credentials);
  const CredentialPair loaded = ReadCredentials(credentials);

  RequireInvariant(result == 0 || result == 1, "the load returns 1 or 0");
  RequireInvariant(loaded.exists, "both buffers exist after a load");
  RequireInvariant(Terminated(loaded.account), "the account is terminated within 129 units");
  RequireInvariant(Terminated(loaded.password), "the password is terminated within 129 units");
  if (!registry.keyExists) {
    RequireInvariant(result == 0 && std::u16string(loaded.account) == u"held" &&
                         std::u16string(loaded.password) == u"pass",
                     "without the key the held texts stay");
  }
  if (result == 0 && std::u16string(loaded.account) != u"held") {
    RequireInvariant(std::u16string(loaded.account).empty() || std::u16string(loaded.password).empty(),
                     "a failed load empties the text it could not read");
  }
  if (result == 1 && CredentialsAreSet(loaded)) {
    // What a later save writes must load back as the same pair.
    MemoryRegistry saved;
    saved.keyExists = false;
    RequireInvariant(SaveCredentials(saved, credentials) == 1, "a loaded pair can be saved");
    ShopCredentials reloaded;
    RequireInvariant(LoadCredentials(saved, reloaded) == 1, "a saved pair loads");
    const CredentialPair again = ReadCredentials(reloaded);
    RequireInvariant(std::u16string(again.account) == loaded.account, "the account survives a save and a load");
    RequireInvariant(std::u16string(again.password) == loaded.password, "the password survives a save and a load");
  }
  return 0;
}
