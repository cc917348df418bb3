# Native (g++) build of the platform-free code, with AddressSanitizer and UBSan.
find_package(jsoncpp CONFIG REQUIRED)
add_library(morvane_json INTERFACE)
target_link_libraries(morvane_json INTERFACE jsoncpp_lib)

option(MORVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
if(MORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
add_compile_options(-Wall -Wextra)

if(MORVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
