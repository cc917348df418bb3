# 64-bit Windows: the same sources, with a set-up program of its own. The
# Windows tests run it where Wine cannot run 32-bit code.
set(MORVANE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
