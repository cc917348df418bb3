#include "service/test_login_win.h"

#include <memory>
#include <string>

#include "res/resource_ids.h"
#include "service/login.h"
#include "service/process_platform.h"
#include "text/wide_text_win.h"
#include "win32/off_thread_work.h"

namespace {

// At most 127 characters of each field and their terminator.
constexpr int kFieldCapacity = 128;

std::u16string FieldText(HWND dialog, int control) {
  wchar_t text[kFieldCapacity] = {};
  ::GetDlgItemTextW(dialog, control, text, kFieldCapacity);
  return AsUtf16(text);
}

}  // namespace

int TestLogin(HWND dialog) {
  // The request's thread holds its own copies and its own verdict: when the
  // program ends meanwhile, the dialog and this frame are gone before it.
  const std::u16string account = FieldText(dialog, IDC_ACCOUNT);
  const std::u16string password = FieldText(dialog, IDC_PASSWORD);
  const auto verdict = std::make_shared<TestLoginVerdict>();
  const OffThreadOutcome outcome = RunOffThread([account, password, verdict] {
    *verdict = TestLoginWith(TheServicePlatform(), account.c_str(), password.c_str());
  });
  if (outcome != OffThreadOutcome::Done) return -1;
  ::SetDlgItemTextW(dialog, IDC_STATUS, AsWide(verdict->message));
  return verdict->result;
}
