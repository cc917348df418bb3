# 32-bit Windows, the architecture Morvane ships for.
set(MORVANE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
