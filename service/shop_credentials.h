#pragma once
// The shop's account and password for the whole process. The settings dialog
// rewrites both while the worker thread may be logging in: every access goes
// through the lock, so a reader gets the old pair or the new pair.

#include <mutex>

constexpr int kCredentialCapacity = 129;  // code units, terminator included

struct CredentialPair {
  bool exists = false;  // the buffers have been created (by a load or a save)
  char16_t account[kCredentialCapacity] = {};
  char16_t password[kCredentialCapacity] = {};
};

struct ShopCredentials {
  std::mutex lock;
  CredentialPair pair;  // read and written only under lock
};

CredentialPair ReadCredentials(ShopCredentials& credentials);
void WriteCredentials(ShopCredentials& credentials, const CredentialPair& pair);
// Both buffers exist and neither text is empty.
bool CredentialsAreSet(const CredentialPair& pair);

ShopCredentials& TheShopCredentials();
