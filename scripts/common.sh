# Shared by the project's scripts: build folders and the configure-and-build
# steps for the native and the Windows builds.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${MORVANE_BUILD_ROOT:-$root/build}
jobs=${MORVANE_JOBS:-$(nproc)}

# 32-bit Linux programs cannot run on every machine (some kernels lack the
# 32-bit layer), and Wine's 32-bit half is such a program.
can_run_32bit_wine() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The architecture whose exe the Windows tests run: the shipped 32-bit one
# wherever Wine can run it, else the 64-bit build of the same sources.
test_arch() {
  if [ -n "${MORVANE_TEST_ARCH:-}" ]; then echo "$MORVANE_TEST_ARCH"
  elif can_run_32bit_wine; then echo i686
  else echo x86_64
  fi
}

jsoncpp_source() {
  bash "$root/scripts/fetch-jsoncpp-source.sh" "$build_root/deps/jsoncpp"
}

# The service simulator, built by build_native; the Windows tests drive the
# shipped exe against it.
sim_exe() {
  echo "$build_root/native/sim/zarnik-sim"
}

# build_windows ARCH TESTS(ON|OFF) [CMAKE_OPTION...]
build_windows() {
  local arch=$1 tests=$2 dir="$build_root/win-$1"
  shift 2
  cmake -S "$root" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DMORVANE_JSONCPP_SOURCE_DIR="$(cd "$(jsoncpp_source)" && pwd)" \
    -DMORVANE_BUILD_TESTS="$tests" \
    -DMORVANE_SIM_EXE="$(sim_exe)" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

# build_native [TARGET...]: everything, or only the targets named.
build_native() {
  local dir="$build_root/native"
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$dir" -j "$jobs" ${1:+--target "$@"}
}
