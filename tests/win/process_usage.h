#pragma once
// What this process holds of the system: handles, GDI and USER objects,
// windows and private memory, for tests that look for leaks over a long run.
// Some systems (Wine among them) answer 0 to the documented counters; the
// figure then comes from another source, named beside it, or is reported
// as missing.

#include <windows.h>

#include <string>

struct UsageFigure {
  long long value = 0;
  bool available = false;
  const char* source = "";  // where the figure was read
};

struct ProcessUsage {
  UsageFigure handles;
  UsageFigure gdiObjects;
  UsageFigure userObjects;
  UsageFigure windows;  // the process's windows, top-level and child, shown or hidden
  UsageFigure privateBytes;
};

ProcessUsage MeasureProcessUsage();

// "name value (source)" for each figure, or "name not reported".
std::string DescribeUsage(const ProcessUsage& usage);
