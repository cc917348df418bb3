// The entry point of every end-to-end test program.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/win/e2e_harness.h"
#include "tests/win/wine_paths.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s MORVANE_EXE SIM_PORT_FILE RECORDER_SCRIPT URL_LOG\n", argv[0]);
    return 2;
  }
  E2eSettings& settings = TheE2eSettings();
  settings.programPath = WindowsPathOf(argv[1]);
  settings.portFile = argv[2];
  settings.recorderScript = argv[3];
  settings.urlLog = argv[4];
  return RUN_ALL_TESTS();
}
