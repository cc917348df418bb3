#include "service/test_login_win.h"

#include "res/resource_ids.h"
#include "service/login.h"
#include "service/process_platform.h"
#include "text/wide_text_win.h"

namespace {

// At most 127 characters of each field and their terminator.
constexpr int kFieldCapacity = 128;

}  // namespace

int TestLogin(HWND dialog) {
  wchar_t account[kFieldCapacity] = {};
  wchar_t password[kFieldCapacity] = {};
  ::GetDlgItemTextW(dialog, IDC_ACCOUNT, account, kFieldCapacity);
  ::GetDlgItemTextW(dialog, IDC_PASSWORD, password, kFieldCapacity);
  const TestLoginVerdict verdict = TestLoginWith(TheServicePlatform(), AsUtf16(account), AsUtf16(password));
  ::SetDlgItemTextW(dialog, IDC_STATUS, AsWide(verdict.message));
  return verdict.result;
}
