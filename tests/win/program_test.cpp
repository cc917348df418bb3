// The shipped exe under Wine: its icon, the single-instance rule, the Run
// value, its commands and its exit.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/win/process_runner.h"
#include "tests/win/shell_tray_recorder.h"
#include "tests/win/wine_paths.h"
#include "win32/handles.h"

namespace {

using namespace std::chrono_literals;

std::wstring programPath;

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kMainWindowClass[] = L"Dovrel";

std::wstring QuotedProgramPath() { return L"\"" + programPath + L"\""; }

UniqueKey OpenRunKey() {
  HKEY key = nullptr;
  ::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return UniqueKey(key);
}

std::optional<std::wstring> ReadRunValue() {
  UniqueKey key = OpenRunKey();
  wchar_t text[1024] = {};
  DWORD bytes = sizeof(text) - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), L"Morvane", nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  if (type != REG_SZ) return std::nullopt;
  return std::wstring(text);
}

void WriteRunValue(const std::wstring& text) {
  UniqueKey key = OpenRunKey();
  ::RegSetValueExW(key.get(), L"Morvane", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void DeleteRunValue() {
  UniqueKey key = OpenRunKey();
  ::RegDeleteValueW(key.get(), L"Morvane");
}

FILETIME RunKeyWriteTime() {
  UniqueKey key = OpenRunKey();
  FILETIME written = {};
  ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, &written);
  return written;
}

bool IsAdd(const TrayNotification& n) { return n.message == NIM_ADD; }
bool IsDelete(const TrayNotification& n) { return n.message == NIM_DELETE; }

// Starts the program and waits until its icon is in the notification area.
class ProgramUnderTest {
 public:
  explicit ProgramUnderTest(ShellTrayRecorder& shell) : program_(programPath) {
    EXPECT_TRUE(program_.Started());
    iconShown_ = shell.WaitFor(IsAdd, 20s);
    mainWindow_ = program_.FindWindowOfClass(kMainWindowClass, 5000);
  }
  ~ProgramUnderTest() {
    if (!program_.WaitForExit(0)) program_.Kill();
  }
  bool IconShown() const { return iconShown_; }
  HWND MainWindow() const { return mainWindow_; }
  RunningProgram& Process() { return program_; }

 private:
  RunningProgram program_;
  bool iconShown_ = false;
  HWND mainWindow_ = nullptr;
};

TEST(ProgramTest, ShowsOneIconAndEndsCleanlyOnExit) {
  ShellTrayRecorder shell;
  DeleteRunValue();
  ProgramUnderTest program(shell);
  ASSERT_TRUE(program.IconShown());
  ASSERT_NE(program.MainWindow(), nullptr);

  std::vector<TrayNotification> added;
  for (const auto& n : shell.Notifications())
    if (IsAdd(n)) added.push_back(n);
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0].tip, L"Morvane");
  EXPECT_EQ(added[0].id, 130u);
  EXPECT_EQ(added[0].window, program.MainWindow()) << "the shell talks to the main window";
  EXPECT_TRUE(added[0].hasIcon);
  EXPECT_FALSE(::IsWindowVisible(program.MainWindow())) << "the main window is never shown";
  EXPECT_EQ(ReadRunValue().value_or(L"<missing>"), QuotedProgramPath());

  ::PostMessageW(program.MainWindow(), WM_COMMAND, 105, 0);
  EXPECT_EQ(program.Process().WaitForExit(10000).value_or(999), 0u);
  ASSERT_TRUE(shell.WaitFor(IsDelete, 1s)) << "the icon leaves with the program";
  size_t deletes = 0;
  for (const auto& n : shell.Notifications()) deletes += IsDelete(n);
  EXPECT_EQ(deletes, 1u);
}

TEST(ProgramTest, SecondStartEndsAtOnceAndLeavesTheRunValueAlone) {
  ShellTrayRecorder shell;
  ProgramUnderTest first(shell);
  ASSERT_TRUE(first.IconShown());
  WriteRunValue(L"\"C:\\elsewhere\\morvane.exe\"");
  shell.Clear();

  RunningProgram second(programPath);
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.WaitForExit(10000).value_or(999), 0u);
  EXPECT_EQ(ReadRunValue().value_or(L"<missing>"), L"\"C:\\elsewhere\\morvane.exe\"");
  for (const auto& n : shell.Notifications()) EXPECT_FALSE(IsAdd(n)) << "the second copy adds no icon";
  EXPECT_FALSE(first.Process().WaitForExit(0).has_value()) << "the first copy runs on";

  ::PostMessageW(first.MainWindow(), WM_COMMAND, 105, 0);
  EXPECT_EQ(first.Process().WaitForExit(10000).value_or(999), 0u);
}

TEST(ProgramTest, RunValueIsRewrittenOnlyWhenItDiffers) {
  struct Row {
    const char* name;
    std::optional<std::wstring> stored;
    bool rewritten;
  };
  std::wstring otherCase = QuotedProgramPath();
  ::CharUpperBuffW(otherCase.data(), static_cast<DWORD>(otherCase.size()));
  const Row rows[] = {
      {"missing", std::nullopt, true},
      {"exact", QuotedProgramPath(), false},
      {"other letter case", otherCase, true},
      {"other folder", std::wstring(L"\"C:\\Program Files\\Morvane\\morvane.exe\""), true},
      {"unquoted", programPath, true},
  };
  for (const Row& row : rows) {
    if (row.stored) WriteRunValue(*row.stored); else DeleteRunValue();
    const FILETIME before = RunKeyWriteTime();
    ::Sleep(50);
    {
      ShellTrayRecorder shell;
      ProgramUnderTest program(shell);
      ASSERT_TRUE(program.IconShown()) << row.name;
      ::PostMessageW(program.MainWindow(), WM_COMMAND, 105, 0);
      EXPECT_EQ(program.Process().WaitForExit(10000).value_or(999), 0u) << row.name;
    }
    EXPECT_EQ(ReadRunValue().value_or(L"<missing>"), QuotedProgramPath()) << row.name;
    const FILETIME after = RunKeyWriteTime();
    const bool written = ::CompareFileTime(&before, &after) != 0;
    EXPECT_EQ(written, row.rewritten) << row.name;
  }
}

TEST(ProgramTest, AboutCommandOpensTheAboutDialog) {
  ShellTrayRecorder shell;
  ProgramUnderTest program(shell);
  ASSERT_TRUE(program.IconShown());
  ::PostMessageW(program.MainWindow(), WM_COMMAND, 104, 0);
  HWND about = program.Process().FindWindowOfClass(L"#32770", 5000);
  ASSERT_NE(about, nullptr);
  wchar_t caption[64] = {};
  ::GetWindowTextW(about, caption, 64);
  EXPECT_STREQ(caption, L"关于");
  ::PostMessageW(about, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 100 && ::IsWindow(about); ++i) ::Sleep(50);
  EXPECT_FALSE(::IsWindow(about));
  ::PostMessageW(program.MainWindow(), WM_COMMAND, 105, 0);
  EXPECT_EQ(program.Process().WaitForExit(10000).value_or(999), 0u);
}

TEST(ProgramTest, SpinCommandSendsTheAnimationFramesToTheShell) {
  ShellTrayRecorder shell;
  ProgramUnderTest program(shell);
  ASSERT_TRUE(program.IconShown());
  shell.Clear();
  ::PostMessageW(program.MainWindow(), WM_COMMAND, 32773, 0);
  ::Sleep(4000);
  size_t frames = 0;
  for (const auto& n : shell.Notifications()) frames += n.message == NIM_MODIFY && n.flags == NIF_ICON;
  EXPECT_GE(frames, 20u) << "about 40 to 60 frames in two to three seconds";
  ::PostMessageW(program.MainWindow(), WM_COMMAND, 105, 0);
  EXPECT_EQ(program.Process().WaitForExit(10000).value_or(999), 0u);
}

TEST(ProgramTest, WithoutANotificationAreaTheProgramEndsSilently) {
  ShellTrayRecorder shell;
  shell.RefuseCalls(true);
  RunningProgram program(programPath);
  ASSERT_TRUE(program.Started());
  EXPECT_EQ(program.WaitForExit(20000).value_or(999), 0u);
}

// The program's top-level dialogs titled as the settings dialog.
std::vector<HWND> SettingsDialogsOf(DWORD processId) {
  std::vector<HWND> found;
  HWND window = nullptr;
  while ((window = ::FindWindowExW(nullptr, window, L"#32770", L"Morvane设置")) != nullptr) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == processId) found.push_back(window);
  }
  return found;
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs) {
  for (DWORD waited = 0; !condition(); waited += 50) {
    if (waited >= timeoutMs) return false;
    ::Sleep(50);
  }
  return true;
}

TEST(ProgramTest, SettingsCommandOpensOneDialogAndBringsBackTheOpenOne) {
  ShellTrayRecorder shell;
  ProgramUnderTest program(shell);
  ASSERT_TRUE(program.IconShown());
  const DWORD processId = program.Process().ProcessId();

  ::PostMessageW(program.MainWindow(), WM_COMMAND, 32774, 0);
  ASSERT_TRUE(WaitUntil([&] { return SettingsDialogsOf(processId).size() == 1; }, 5000));
  const HWND settings = SettingsDialogsOf(processId).front();
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(settings) != FALSE; }, 5000));

  // Hidden, so that bringing it back can be seen.
  ::ShowWindow(settings, SW_HIDE);
  ASSERT_FALSE(::IsWindowVisible(settings));
  ::PostMessageW(program.MainWindow(), WM_COMMAND, 32774, 0);
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(settings) != FALSE; }, 5000))
      << "the second command shows the open dialog again";
  ::Sleep(1000);
  EXPECT_EQ(SettingsDialogsOf(processId), std::vector<HWND>{settings}) << "one settings dialog only";

  ::PostMessageW(settings, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindow(settings); }, 5000));
  ::PostMessageW(program.MainWindow(), WM_COMMAND, 105, 0);
  EXPECT_EQ(program.Process().WaitForExit(10000).value_or(999), 0u);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 2) {
    fprintf(stderr, "usage: program_test PATH_TO_MORVANE_EXE\n");
    return 2;
  }
  programPath = WindowsPathOf(argv[1]);
  return RUN_ALL_TESTS();
}
