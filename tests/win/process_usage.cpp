#include "tests/win/process_usage.h"

#include <winternl.h>
// The memory figures from kernel32, where every system since Windows 7 and
// Wine keep them, rather than from a library of their own.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <cstdint>
#include <vector>

namespace {

constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);
constexpr ULONG kMaxHandleTableBytes = 64u * 1024u * 1024u;

using QuerySystemInformation = NTSTATUS(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
using QueryProcessInformation = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

FARPROC NtdllFunction(const char* name) { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name); }

UsageFigure Figure(long long value, const char* source) { return {value, true, source}; }

// The system's handle table, with this process's entries counted.
UsageFigure HandlesInSystemTable() {
  const auto query =
      reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(NtdllFunction("NtQuerySystemInformation")));
  if (!query) return {};
  std::vector<std::uint8_t> buffer(256 * 1024);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status =
        query(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch && buffer.size() < kMaxHandleTableBytes) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return {};
    break;
  }
  const auto* table = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
  const DWORD self = ::GetCurrentProcessId();
  long long count = 0;
  for (ULONG i = 0; i < table->Count; ++i) count += table->Handle[i].OwnerPid == self;
  return Figure(count, "system handle table");
}

#ifdef _WIN64
// A cell of the GDI handle table that the process environment block points
// to; the table is the process's own under Wine.
struct GdiHandleCell {
  std::uint64_t object;
  std::uint32_t owner;
  std::uint16_t unique;
  std::uint8_t type;
  std::uint8_t flags;
  std::uint64_t user;
};
static_assert(sizeof(GdiHandleCell) == 24, "GDI handle table cell");
constexpr size_t kGdiTableOffset = 0xF8;  // in the 64-bit process environment block
constexpr int kGdiTableCells = 0x10000;

UsageFigure ObjectsInGdiTable() {
  const auto query =
      reinterpret_cast<QueryProcessInformation>(reinterpret_cast<void*>(NtdllFunction("NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic = {};
  if (!query || query(::GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0 ||
      !basic.PebBaseAddress)
    return {};
  const auto* block = reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress);
  const auto* table = *reinterpret_cast<const GdiHandleCell* const*>(block + kGdiTableOffset);
  if (!table) return {};
  long long count = 0;
  for (int i = 0; i < kGdiTableCells; ++i) count += table[i].type != 0;
  return Figure(count, "GDI handle table");
}
#else
UsageFigure ObjectsInGdiTable() { return {}; }
#endif

BOOL CALLBACK CountChild(HWND, LPARAM count) {
  ++*reinterpret_cast<long long*>(count);
  return TRUE;
}

BOOL CALLBACK CountOwnWindow(HWND window, LPARAM count) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner != ::GetCurrentProcessId()) return TRUE;
  ++*reinterpret_cast<long long*>(count);
  ::EnumChildWindows(window, CountChild, count);
  return TRUE;
}

UsageFigure OwnWindows() {
  long long count = 0;
  if (!::EnumWindows(CountOwnWindow, reinterpret_cast<LPARAM>(&count))) return {};
  return Figure(count, "EnumWindows");
}

std::string Describe(const char* name, const UsageFigure& figure) {
  if (!figure.available) return std::string(name) + " not reported";
  return std::string(name) + " " + std::to_string(figure.value) + " (" + figure.source + ")";
}

}  // namespace

ProcessUsage MeasureProcessUsage() {
  ProcessUsage usage;
  const HANDLE self = ::GetCurrentProcess();

  DWORD handles = 0;
  if (::GetProcessHandleCount(self, &handles) && handles > 0)
    usage.handles = Figure(handles, "GetProcessHandleCount");
  else
    usage.handles = HandlesInSystemTable();

  if (const DWORD gdi = ::GetGuiResources(self, GR_GDIOBJECTS))
    usage.gdiObjects = Figure(gdi, "GetGuiResources");
  else
    usage.gdiObjects = ObjectsInGdiTable();
  if (const DWORD user = ::GetGuiResources(self, GR_USEROBJECTS)) usage.userObjects = Figure(user, "GetGuiResources");

  usage.windows = OwnWindows();

  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof(memory);
  if (::GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory))) {
    // The commit charge, which Windows reports under both names; Wine fills
    // only the older one.
    if (memory.PrivateUsage > 0)
      usage.privateBytes = Figure(static_cast<long long>(memory.PrivateUsage), "PrivateUsage");
    else if (memory.PagefileUsage > 0)
      usage.privateBytes = Figure(static_cast<long long>(memory.PagefileUsage), "PagefileUsage");
  }
  return usage;
}

std::string DescribeUsage(const ProcessUsage& usage) {
  return Describe("handles", usage.handles) + ", " + Describe("GDI objects", usage.gdiObjects) + ", " +
         Describe("USER objects", usage.userObjects) + ", " + Describe("windows", usage.windows) + ", " +
         Describe("private bytes", usage.privateBytes);
}
