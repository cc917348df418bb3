# Native build of the platform-free code, with a sanitizer chosen by
# MORVANE_SANITIZER: address (AddressSanitizer and UBSan), thread
# (ThreadSanitizer, for the concurrency tests) or none.
find_package(jsoncpp CONFIG REQUIRED)
add_library(morvane_json INTERFACE)
target_link_libraries(morvane_json INTERFACE jsoncpp_lib)

set(MORVANE_SANITIZER "address" CACHE STRING "Sanitizer of the native build: address, thread or none")
set_property(CACHE MORVANE_SANITIZER PROPERTY STRINGS address thread none)
if(MORVANE_SANITIZER STREQUAL "address")
  set(morvane_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(MORVANE_SANITIZER STREQUAL "thread")
  set(morvane_sanitizer_flags -fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(MORVANE_SANITIZER STREQUAL "none")
  set(morvane_sanitizer_flags)
else()
  message(FATAL_ERROR "MORVANE_SANITIZER must be address, thread or none, not '${MORVANE_SANITIZER}'")
endif()
add_compile_options(${morvane_sanitizer_flags} -Wall -Wextra)

if(MORVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
