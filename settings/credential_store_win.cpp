#include "settings/credential_store_win.h"

#include "settings/credential_registry_win.h"
#include "settings/credential_store.h"

int LoadCredentials() {
  Win32CredentialRegistry registry;
  return LoadCredentials(registry, TheShopCredentials());
}

int SaveCredentials() {
  Win32CredentialRegistry registry;
  return SaveCredentials(registry, TheShopCredentials());
}
