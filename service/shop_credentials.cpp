#include "service/shop_credentials.h"

CredentialPair ReadCredentials(ShopCredentials& credentials) {
  std::lock_guard<std::mutex> hold(credentials.lock);
  return credentials.pair;
}

void WriteCredentials(ShopCredentials& credentials, const CredentialPair& pair) {
  std::lock_guard<std::mutex> hold(credentials.lock);
  credentials.pair = pair;
  // Readers rely on both texts being terminated inside their buffers.
  credentials.pair.account[kCredentialCapacity - 1] = 0;
  credentials.pair.password[kCredentialCapacity - 1] = 0;
}

bool CredentialsAreSet(const CredentialPair& pair) {
  return pair.exists && pair.account[0] != 0 && pair.password[0] != 0;
}

ShopCredentials& TheShopCredentials() {
  static ShopCredentials credentials;
  return credentials;
}
