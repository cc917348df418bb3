#include "settings/settings_dialog_win.h"

#include <string_view>

#include "res/resource_ids.h"
#include "service/session_state.h"
#include "service/shop_credentials.h"
#include "service/test_login_win.h"
#include "settings/apply_credentials.h"
#include "settings/credential_store_win.h"
#include "text/utf16_text.h"
#include "text/wide_text_win.h"
#include "win32/off_thread_work.h"

namespace {

// Read from each edit, terminator included; the edits take no more, so
// nothing typed is dropped.
constexpr int kFieldCapacity = 128;
static_assert(kFieldCapacity <= kCredentialCapacity, "a typed text fits the credential buffer");

constexpr wchar_t kCredentialsMissingText[] = L"请设置Zarnik网点登录帐号与密码！！！";
constexpr wchar_t kFieldEmptyText[] = L"请先输入登录帐号与密码，再保存！";

struct TypedField {
  wchar_t text[kFieldCapacity] = {};
};

TypedField ReadField(HWND dialog, int control) {
  TypedField field;
  ::GetDlgItemTextW(dialog, control, field.text, kFieldCapacity);
  field.text[kFieldCapacity - 1] = L'\0';
  return field;
}

std::u16string_view TextOf(const char16_t* buffer, std::size_t capacity) {
  return std::u16string_view(buffer, Utf16Length(buffer, capacity));
}

std::u16string_view TextOf(const TypedField& field) { return TextOf(AsUtf16(field.text), kFieldCapacity); }

// The dialog does nothing else until the test's reply is in: its buttons are
// disabled meanwhile, and so the test cannot be started twice.
void RunTest(HWND dialog) {
  constexpr int kButtons[] = {IDOK, IDCANCEL, IDC_TEST};
  // Disabling Test, which has the focus, leaves the focus nowhere: Tab and
  // Enter would reach no control until it is given back.
  const HWND focused = ::GetFocus();
  for (const int button : kButtons) ::EnableWindow(::GetDlgItem(dialog, button), FALSE);
  TestLogin(dialog);
  // The program may have ended meanwhile, and the dialog with it.
  if (!::IsWindow(dialog)) return;
  for (const int button : kButtons) ::EnableWindow(::GetDlgItem(dialog, button), TRUE);
  // Unless the user has put it elsewhere meanwhile (an edit stays enabled).
  if (!::GetFocus() && ::GetActiveWindow() == dialog && ::IsChild(dialog, focused))
    ::SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focused), TRUE);
}

void OnSettingsCommand(HWND dialog, WORD command) {
  switch (command) {
    case IDOK:
      if (ApplySettings(dialog))
        ::EndDialog(dialog, IDOK);
      else
        ::SetDlgItemTextW(dialog, IDC_STATUS, kFieldEmptyText);
      break;
    case IDCANCEL:
      ::EndDialog(dialog, IDCANCEL);
      break;
    case IDC_TEST:
      RunTest(dialog);
      break;
    default:
      break;
  }
}

}  // namespace

void InitSettingsDialog(HWND dialog) {
  for (const int edit : {IDC_ACCOUNT, IDC_PASSWORD})
    ::SendDlgItemMessageW(dialog, edit, EM_SETLIMITTEXT, kFieldCapacity - 1, 0);
  const CredentialPair held = ReadCredentials(TheShopCredentials());
  if (held.exists) {
    // The password edit masks what it is given.
    ::SetDlgItemTextW(dialog, IDC_ACCOUNT, AsWide(held.account));
    ::SetDlgItemTextW(dialog, IDC_PASSWORD, AsWide(held.password));
  }
  if (!CredentialsAreSet(held)) ::SetDlgItemTextW(dialog, IDC_STATUS, kCredentialsMissingText);
}

int ApplySettings(HWND dialog) {
  const TypedField account = ReadField(dialog, IDC_ACCOUNT);
  const TypedField password = ReadField(dialog, IDC_PASSWORD);
  if (TextOf(account).empty() || TextOf(password).empty()) return 0;
  ApplyTypedCredentials(TheShopCredentials(), TheSessionState(), TextOf(account), TextOf(password));
  // Unchanged texts are written again all the same. A failed write is not
  // reported: the new pair stays in use until the program ends.
  SaveCredentials();
  return 1;
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitSettingsDialog(dialog);
      // The default focus: the OK button, the template's first tab stop.
      return TRUE;
    case WM_COMMAND:
      // Enter, Esc and the close box arrive here with their buttons disabled
      // too: while a reply is awaited, no command is carried out.
      if (!AwaitingOffThreadWork()) OnSettingsCommand(dialog, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}
