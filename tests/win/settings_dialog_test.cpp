// The settings dialog driven as a user would drive it: what it shows when it
// opens, what OK, Cancel and the Test button do to the credentials, the
// session and the user's registry key.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "res/resource_ids.h"
#include "service/session_state.h"
#include "settings/credential_store.h"
#include "settings/settings_dialog_win.h"
#include "settings/shop_credentials.h"
#include "tests/win/modal_dialog_driver.h"
#include "text/wide_text_win.h"
#include "win32/handles.h"

namespace {

using namespace std::chrono_literals;

constexpr wchar_t kNotSetPrompt[] = L"请设置Zarnik网点登录帐号与密码！！！";
constexpr wchar_t kEmptyFieldText[] = L"请先输入登录帐号与密码，再保存！";
constexpr wchar_t kEmptyFieldTestText[] = L"请先输入登录帐号与密码，再测试！";

const SessionIds kHeldSession = {u"session-1", u"shop-1"};

struct Texts {
  std::u16string account;
  std::u16string password;
};

const Texts kHeld = {u"shop-7", u"s3cret"};

INT_PTR ShowSettings() {
  return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), nullptr,
                           SettingsDialogProc, 0);
}

std::wstring Wide(const std::u16string& text) { return std::wstring(AsWide(text.c_str())); }

void Hold(const std::optional<Texts>& texts) {
  CredentialPair pair;
  if (texts) {
    pair.exists = true;
    texts->account.copy(pair.account, kCredentialCapacity - 1);
    texts->password.copy(pair.password, kCredentialCapacity - 1);
  }
  WriteCredentials(TheShopCredentials(), pair);
}

struct Held {
  bool exists;
  std::u16string account;
  std::u16string password;
};

Held HeldCredentials() {
  const CredentialPair pair = ReadCredentials(TheShopCredentials());
  return {pair.exists, pair.account, pair.password};
}

struct StoredValue {
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> bytes;
};

std::optional<StoredValue> ReadStoredValue(const char16_t* name) {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, AsWide(kCredentialKeyPath), 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return std::nullopt;
  UniqueKey key(opened);
  StoredValue value;
  value.bytes.resize(1024);
  DWORD size = static_cast<DWORD>(value.bytes.size());
  if (::RegQueryValueExW(key.get(), AsWide(name), nullptr, &value.type, value.bytes.data(), &size) != ERROR_SUCCESS)
    return std::nullopt;
  value.bytes.resize(size);
  return value;
}

bool CredentialKeyExists() {
  HKEY opened = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, AsWide(kCredentialKeyPath), 0, KEY_READ, &opened) != ERROR_SUCCESS)
    return false;
  ::RegCloseKey(opened);
  return true;
}

// A text as a REG_SZ value holds it: UTF-16LE with its terminator.
std::vector<std::uint8_t> StringValueBytes(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

class SettingsDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(std::nullopt); }
  void TearDown() override { ::RegDeleteKeyW(HKEY_CURRENT_USER, AsWide(kCredentialKeyPath)); }

  // Credentials held as given, a session held, no log-in requested, and
  // nothing in the registry.
  static void Reset(const std::optional<Texts>& held) {
    ::RegDeleteKeyW(HKEY_CURRENT_USER, AsWide(kCredentialKeyPath));
    Hold(held);
    StoreSessionIds(TheSessionState(), kHeldSession);
    TheSessionState().reloginRequested = 0;
  }

  static void ExpectNothingChanged(const std::optional<Texts>& held, const std::string& row) {
    const Held now = HeldCredentials();
    EXPECT_EQ(now.exists, held.has_value()) << row;
    EXPECT_EQ(now.account, held ? held->account : u"") << row;
    EXPECT_EQ(now.password, held ? held->password : u"") << row;
    EXPECT_EQ(TheSessionState().reloginRequested.load(), 0) << row;
    EXPECT_EQ(std::u16string(ReadSessionIds(TheSessionState()).session_id), kHeldSession.session_id) << row;
    EXPECT_FALSE(CredentialKeyExists()) << row << ": nothing is written to the registry";
  }
};

TEST_F(SettingsDialogTest, OpensWithTheHeldTextsAndPromptsWhileTheyAreNotSet) {
  struct Row {
    const char* name;
    std::optional<Texts> held;
    const wchar_t* status;
  };
  const Row rows[] = {
      {"nothing held", std::nullopt, kNotSetPrompt},
      {"account only", Texts{u"shop-7", u""}, kNotSetPrompt},
      {"password only", Texts{u"", u"s3cret"}, kNotSetPrompt},
      {"both held", kHeld, L""},
  };
  for (const Row& row : rows) {
    Reset(row.held);
    std::wstring account, password, status;
    bool okHasFocus = false;
    const DrivenDialog settings = RunDrivenDialog(ShowSettings, [&](HWND dialog) {
      account = ControlText(dialog, IDC_ACCOUNT);
      password = ControlText(dialog, IDC_PASSWORD);
      status = ControlText(dialog, IDC_STATUS);
      GUITHREADINFO info = {};
      info.cbSize = sizeof(info);
      ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info);
      okHasFocus = info.hwndFocus == ::GetDlgItem(dialog, IDOK);
      PressButton(dialog, IDCANCEL);
    });
    ASSERT_TRUE(settings.appeared) << row.name;
    EXPECT_EQ(settings.result, IDCANCEL) << row.name;
    EXPECT_EQ(account, row.held ? Wide(row.held->account) : L"") << row.name;
    EXPECT_EQ(password, row.held ? Wide(row.held->password) : L"") << row.name;
    EXPECT_EQ(status, row.status) << row.name;
    EXPECT_TRUE(okHasFocus) << row.name << ": the focus starts on OK";
    ExpectNothingChanged(row.held, row.name);
  }
}

TEST_F(SettingsDialogTest, OkWithAnEmptyFieldSaysSoAndChangesNothing) {
  struct Row {
    const char* name;
    const wchar_t* account;
    const wchar_t* password;
  };
  const Row rows[] = {
      {"password empty", L"shop-8", L""},
      {"account empty", L"", L"other"},
      {"both empty", L"", L""},
  };
  for (const Row& row : rows) {
    Reset(kHeld);
    std::wstring status;
    bool stayedOpen = false;
    const DrivenDialog settings = RunDrivenDialog(ShowSettings, [&](HWND dialog) {
      SetControlText(dialog, IDC_ACCOUNT, row.account);
      SetControlText(dialog, IDC_PASSWORD, row.password);
      PressButton(dialog, IDOK);
      stayedOpen = !WaitUntilClosed(dialog, 500ms);
      status = ControlText(dialog, IDC_STATUS);
      PressButton(dialog, IDCANCEL);
    });
    ASSERT_TRUE(settings.appeared) << row.name;
    EXPECT_TRUE(stayedOpen) << row.name;
    EXPECT_EQ(status, kEmptyFieldText) << row.name;
    EXPECT_EQ(settings.result, IDCANCEL) << row.name;
    ExpectNothingChanged(kHeld, row.name);
  }
}

TEST_F(SettingsDialogTest, OkTakesTheTextsOverAndRequestsALogInOnlyForAChange) {
  struct Row {
    const char* name;
    std::optional<Texts> held;
    Texts typed;
    bool loginRequested;
  };
  const Row rows[] = {
      {"unchanged", kHeld, kHeld, false},
      {"password changed", kHeld, {u"shop-7", u"s3cret!"}, true},
      {"account changed", kHeld, {u"shop-8", u"s3cret"}, true},
      {"account in another letter case", kHeld, {u"Shop-7", u"s3cret"}, true},
      {"password cut short", kHeld, {u"shop-7", u"s3cre"}, true},
      {"nothing held before", std::nullopt, kHeld, true},
  };
  for (const Row& row : rows) {
    Reset(row.held);
    const DrivenDialog settings = RunDrivenDialog(ShowSettings, [&](HWND dialog) {
      SetControlText(dialog, IDC_ACCOUNT, Wide(row.typed.account));
      SetControlText(dialog, IDC_PASSWORD, Wide(row.typed.password));
      PressButton(dialog, IDOK);
    });
    ASSERT_TRUE(settings.appeared) << row.name;
    EXPECT_TRUE(settings.closedByDriver) << row.name;
    EXPECT_EQ(settings.result, IDOK) << row.name;

    const Held now = HeldCredentials();
    EXPECT_TRUE(now.exists) << row.name;
    EXPECT_EQ(now.account, row.typed.account) << row.name;
    EXPECT_EQ(now.password, row.typed.password) << row.name;

    const SessionIds ids = ReadSessionIds(TheSessionState());
    EXPECT_EQ(TheSessionState().reloginRequested.load(), row.loginRequested ? 1 : 0) << row.name;
    EXPECT_EQ(std::u16string(ids.session_id), row.loginRequested ? u"" : kHeldSession.session_id) << row.name;
    EXPECT_EQ(std::u16string(ids.shop_id), kHeldSession.shop_id) << row.name << ": the shop id is left alone";

    // Written again even when nothing changed.
    const std::optional<StoredValue> account = ReadStoredValue(kAccountValueName);
    ASSERT_TRUE(account.has_value()) << row.name;
    EXPECT_EQ(account->type, static_cast<DWORD>(REG_SZ)) << row.name;
    EXPECT_EQ(account->bytes, StringValueBytes(row.typed.account)) << row.name;
    EXPECT_TRUE(ReadStoredValue(kPasswordValueName).has_value()) << row.name;
  }
}

TEST_F(SettingsDialogTest, TheRegistryHoldsTheAccountAndTheShiftedPassword) {
  const DrivenDialog settings = RunDrivenDialog(ShowSettings, [&](HWND dialog) {
    SetControlText(dialog, IDC_ACCOUNT, L"网点a");
    SetControlText(dialog, IDC_PASSWORD, L"a密\u00FF");
    PressButton(dialog, IDOK);
  });
  ASSERT_EQ(settings.result, IDOK);
  const std::optional<StoredValue> account = ReadStoredValue(kAccountValueName);
  const std::optional<StoredValue> password = ReadStoredValue(kPasswordValueName);
  ASSERT_TRUE(account.has_value());
  ASSERT_TRUE(password.has_value());
  EXPECT_EQ(account->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(account->bytes, (std::vector<std::uint8_t>{0x51, 0x7F, 0xB9, 0x70, 0x61, 0x00, 0x00, 0x00}));
  EXPECT_EQ(password->type, static_cast<DWORD>(REG_BINARY));
  // Every byte one higher, each on its own: no terminator, and FF wraps to 00
  // without carrying into its neighbour.
  EXPECT_EQ(password->bytes, (std::vector<std::uint8_t>{0x62, 0x01, 0xC7, 0x5C, 0x00, 0x01}));
}

TEST_F(SettingsDialogTest, TypedTextsAreTakenUpTo127Characters) {
  std::wstring typedAccount, typedPassword;
  for (int i = 0; i < 130; ++i) {
    typedAccount += static_cast<wchar_t>(L'a' + i % 26);
    typedPassword += static_cast<wchar_t>(L'0' + i % 10);
  }
  std::wstring inAccountEdit;
  const DrivenDialog settings = RunDrivenDialog(ShowSettings, [&](HWND dialog) {
    TypeInto(dialog, IDC_ACCOUNT, typedAccount);
    TypeInto(dialog, IDC_PASSWORD, typedPassword);
    inAccountEdit = ControlText(dialog, IDC_ACCOUNT);
    PressButton(dialog, IDOK);
  });
  ASSERT_EQ(settings.result, IDOK);
  EXPECT_EQ(inAccountEdit, typedAccount) << "the edits themselves take every character";
  const Held now = HeldCredentials();
  EXPECT_EQ(Wide(now.account), typedAccount.substr(0, 127));
  EXPECT_EQ(Wide(now.password), typedPassword.substr(0, 127));
}

TEST_F(SettingsDialogTest, EveryWayOfCancellingStoresNothing) {
  struct Row {
    const char* name;
    std::function<void(HWND)> cancel;
  };
  const std::vector<Row> rows = {
      {"Cancel", [](HWND dialog) { PressButton(dialog, IDCANCEL); }},
      {"Esc", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }},
      {"close box", [](HWND dialog) { ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }},
  };
  for (const Row& row : rows) {
    Reset(kHeld);
    const DrivenDialog settings = RunDrivenDialog(ShowSettings, [&](HWND dialog) {
      SetControlText(dialog, IDC_ACCOUNT, L"shop-9");
      SetControlText(dialog, IDC_PASSWORD, L"new password");
      row.cancel(dialog);
    });
    ASSERT_TRUE(settings.appeared) << row.name;
    EXPECT_TRUE(settings.closedByDriver) << row.name;
    EXPECT_EQ(settings.result, IDCANCEL) << row.name;
    ExpectNothingChanged(kHeld, row.name);
  }
}

TEST_F(SettingsDialogTest, TestButtonShowsItsVerdictInTheDialogAndStoresNothing) {
  Reset(kHeld);
  std::wstring status;
  bool stayedOpen = false;
  const DrivenDialog settings = RunDrivenDialog(ShowSettings, [&](HWND dialog) {
    // An empty field: the verdict comes without a request to the service.
    SetControlText(dialog, IDC_ACCOUNT, L"shop-9");
    SetControlText(dialog, IDC_PASSWORD, L"");
    PressButton(dialog, IDC_TEST);
    stayedOpen = !WaitUntilClosed(dialog, 500ms);
    status = ControlText(dialog, IDC_STATUS);
    PressButton(dialog, IDCANCEL);
  });
  ASSERT_TRUE(settings.appeared);
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(status, kEmptyFieldTestText);
  EXPECT_EQ(settings.result, IDCANCEL);
  ExpectNothingChanged(kHeld, "after the test");
}

}  // namespace
