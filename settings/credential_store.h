#pragma once
// The account and password in the current user's registry: loaded once at
// start-up, saved when the settings dialog is confirmed. The logic here runs
// over CredentialRegistry so that it can be tested without a registry.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "service/shop_credentials.h"

// The key, under HKEY_CURRENT_USER, and its two values.
constexpr char16_t kCredentialKeyPath[] = u"Software\\Trevolt\\Orvent";
constexpr char16_t kAccountValueName[] = u"Account";    // REG_SZ, NUL included
constexpr char16_t kPasswordValueName[] = u"Password";  // REG_BINARY, shifted, no NUL

// The credential key as the store needs it. At most one key is open at a
// time; the store closes it on every path on which an open or a create
// succeeded.
class CredentialRegistry {
 public:
  enum class OpenResult {
    Opened,
    NotFound,  // the key does not exist (ERROR_FILE_NOT_FOUND or ERROR_NO_MATCH)
    Failed,    // any other error
  };

  virtual ~CredentialRegistry() = default;

  // Opens kCredentialKeyPath with KEY_READ. False on any failure.
  virtual bool OpenForRead() = 0;
  // Opens kCredentialKeyPath with KEY_WRITE.
  virtual OpenResult OpenForWrite() = 0;
  // Creates kCredentialKeyPath (non-volatile, KEY_ALL_ACCESS, default
  // security) and leaves it open. False when it could not be created.
  virtual bool CreateKey() = 0;
  // The bytes of the named value of the open key, whatever its stored type.
  // nullopt when the value is missing, holds more than max_bytes, or cannot
  // be read.
  virtual std::optional<std::vector<std::uint8_t>> ReadValue(const char16_t* name, std::size_t max_bytes) = 0;
  // Sets the named value of the open key. A failed write goes unnoticed:
  // nothing could be done about it.
  virtual void WriteString(const char16_t* name, const std::vector<std::uint8_t>& bytes) = 0;  // REG_SZ
  virtual void WriteBinary(const char16_t* name, const std::vector<std::uint8_t>& bytes) = 0;  // REG_BINARY
  // Closes the open key.
  virtual void Close() = 0;
};

// Fills credentials from the registry. Both buffers exist afterwards. 1 when
// both values were read; 0 otherwise, keeping whatever was already read.
int LoadCredentials(CredentialRegistry& registry, ShopCredentials& credentials);

// Writes the credentials, creating the key when it is missing. 1 when the
// key was opened or created and both values were written; 0, with nothing
// written, when the credentials are not set or the key is unavailable.
int SaveCredentials(CredentialRegistry& registry, ShopCredentials& credentials);
