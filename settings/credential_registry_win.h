#pragma once
// The credential key in the current user's registry.

#include <windows.h>

#include "settings/credential_store.h"
#include "win32/handles.h"

class Win32CredentialRegistry : public CredentialRegistry {
 public:
  bool OpenForRead() override;
  OpenResult OpenForWrite() override;
  bool CreateKey() override;
  std::optional<std::vector<std::uint8_t>> ReadValue(const char16_t* name, std::size_t max_bytes) override;
  void WriteString(const char16_t* name, const std::vector<std::uint8_t>& bytes) override;
  void WriteBinary(const char16_t* name, const std::vector<std::uint8_t>& bytes) override;
  void Close() override;

 private:
  void WriteValue(const char16_t* name, DWORD type, const std::vector<std::uint8_t>& bytes);

  UniqueKey key_;
};
