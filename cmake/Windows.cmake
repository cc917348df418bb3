# Cross build for Windows with mingw-w64: JsonCpp from Debian's source package,
# GoogleTest from /usr/src/googletest, everything linked statically so that the
# exe needs no DLL beside it.
set(MORVANE_JSONCPP_SOURCE_DIR "" CACHE PATH "Unpacked source of Debian's libjsoncpp package")
if(NOT EXISTS "${MORVANE_JSONCPP_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "MORVANE_JSONCPP_SOURCE_DIR must point at the unpacked libjsoncpp source (scripts/fetch-jsoncpp-source.sh)")
endif()

enable_language(RC)
# Windows 7 is the oldest Windows the program supports: the headers then declare
# nothing newer, and scripts/check-imports.sh checks what the programs import.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0800)
add_compile_options(-Wall -Wextra)
add_link_options(-static -static-libgcc -static-libstdc++)

include(${CMAKE_CURRENT_LIST_DIR}/Signing.cmake)

# Every program of the build lands in bin/.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(BUILD_SHARED_LIBS OFF CACHE BOOL "" FORCE)
set(BUILD_STATIC_LIBS ON CACHE BOOL "" FORCE)
set(BUILD_OBJECT_LIBS OFF CACHE BOOL "" FORCE)
set(JSONCPP_WITH_TESTS OFF CACHE BOOL "" FORCE)
set(JSONCPP_WITH_POST_BUILD_UNITTEST OFF CACHE BOOL "" FORCE)
set(JSONCPP_WITH_PKGCONFIG_SUPPORT OFF CACHE BOOL "" FORCE)
set(JSONCPP_WITH_CMAKE_PACKAGE OFF CACHE BOOL "" FORCE)
add_subdirectory(${MORVANE_JSONCPP_SOURCE_DIR} ${CMAKE_BINARY_DIR}/jsoncpp EXCLUDE_FROM_ALL SYSTEM)
add_library(morvane_json INTERFACE)
target_link_libraries(morvane_json INTERFACE jsoncpp_static)

if(MORVANE_BUILD_TESTS)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
