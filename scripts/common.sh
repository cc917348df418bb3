# Shared by the project's scripts: build folders and the configure-and-build
# steps for the native and the Windows builds.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_root=${MORVANE_BUILD_ROOT:-$root/build}
# Sources fetched for the builds; a script that moves build_root keeps them.
deps_root=$build_root/deps
jobs=${MORVANE_JOBS:-$(nproc)}

# ccache keeps compiled objects between builds of any checkout (paths are
# taken relative to the checkout), so a second folder or a clean build of the
# same sources compiles little.
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1
compiler_cache() {
  command -v ccache >/dev/null && echo -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
}

# 32-bit Linux programs cannot run on every machine (some kernels lack the
# 32-bit layer), and Wine's 32-bit half is such a program.
can_run_32bit_wine() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The architecture whose exe the Windows tests run end to end: the 64-bit
# one, which nearly every shop runs and which every machine's Wine starts.
test_arch() {
  echo "${MORVANE_TEST_ARCH:-x86_64}"
}

jsoncpp_source() {
  bash "$root/scripts/fetch-jsoncpp-source.sh" "$deps_root/jsoncpp"
}

# The service simulator, built by build_native; the Windows tests drive the
# shipped exe against it.
sim_exe() {
  echo "$build_root/native/sim/zarnik-sim"
}

# build_windows ARCH TESTS(ON|OFF) [CMAKE_OPTION...]
build_windows() {
  local arch=$1 tests=$2 dir="$build_root/win-$1" jsoncpp
  shift 2
  jsoncpp=$(jsoncpp_source) || return
  cmake -S "$root" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DMORVANE_JSONCPP_SOURCE_DIR="$(cd "$jsoncpp" && pwd)" \
    -DMORVANE_BUILD_TESTS="$tests" \
    -DMORVANE_SIM_EXE="$(sim_exe)" $(compiler_cache) "$@" >/dev/null || return
  cmake --build "$dir" -j "$jobs"
}

# build_native [TARGET...]: everything, or only the targets named.
build_native() {
  local dir="$build_root/native"
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug $(compiler_cache) >/dev/null
  cmake --build "$dir" -j "$jobs" ${1:+--target "$@"}
}

# Wine sessions of the demo and the tests (scripts/wine-session.sh makes them):
# zarnik-sim beside them and the prefix's settings that point the program at
# it. Each function that talks to the prefix needs the session's env loaded.

# start_sim STATE_DIR SIM_EXE [SIM_OPTION...]: zarnik-sim on a free loopback
# port; its pid and port land in STATE_DIR/sim.pid and STATE_DIR/sim.port, its
# script host's port in STATE_DIR/script.port.
start_sim() {
  local state=$1 exe=$2
  shift 2
  stop_sim "$state"
  # There before the wait reads it, whenever the simulator's shell opens it.
  : >"$state/sim.listening"
  "$exe" --port 0 "$@" </dev/null >"$state/sim.listening" 2>"$state/sim.log" &
  echo $! >"$state/sim.pid"
  for _ in $(seq 100); do
    sed -n 's/^listening \([0-9]*\)$/\1/p' "$state/sim.listening" >"$state/sim.port"
    # Its script host's port comes first.
    sed -n 's/^script host \([0-9]*\)$/\1/p' "$state/sim.listening" >"$state/script.port"
    [ -s "$state/sim.port" ] && return 0
    sleep 0.1
  done
  echo "zarnik-sim did not start" >&2
  cat "$state/sim.log" >&2
  return 1
}

stop_sim() {
  local state=$1
  if [ -f "$state/sim.pid" ]; then kill "$(cat "$state/sim.pid")" 2>/dev/null || true; fi
  rm -f "$state/sim.pid" "$state/sim.port" "$state/script.port"
}

# set_browser_proxy PORTS [FLAGS [SCRIPT_URL [VALUE]]]: the prefix's browser
# proxy settings, which every program of the prefix reads at its start (the
# program reaches the service through them). DefaultConnectionSettings:
# version, counter, flags (1 direct, 2 the proxy 127.0.0.1:PORT, or a list of
# them for PORTS separated by ';', 4 the setup script's address, 8 automatic
# detection; 3 unless given), then the proxy, the bypass list and the
# script's address, each as length + bytes. VALUE
# writes the record under another name of the key instead, for a test to put
# in place for a while.
set_browser_proxy() {
  local flags=${2:-3} script=${3:-} proxy="" record field
  (((flags & 2) != 0)) && proxy=$(printf '127.0.0.1:%s;' ${1//;/ }) && proxy=${proxy%;}
  record=$(printf '46000000''01000000''%02x000000' "$flags")
  for field in "$proxy" "" "$script"; do
    record+=$(printf '%02x000000' "${#field}")$(printf '%s' "$field" | od -An -tx1 | tr -d ' \n')
  done
  "$MORVANE_WINE_LOADER" reg add \
    'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections' /f \
    /v "${4:-DefaultConnectionSettings}" /t REG_BINARY /d "$record" </dev/null >/dev/null 2>&1
}

# The prefix's web browser: the command the shell hands every address to.
set_browser() {
  "$MORVANE_WINE_LOADER" reg add 'HKCU\Software\Wine\WineBrowser' /f /v Browsers /d "$1" </dev/null >/dev/null 2>&1
}

# store_credentials ACCOUNT PASSWORD: as the program saves them, the password
# as its UTF-16LE bytes, each raised by one (0xFF wraps to 0x00).
store_credentials() {
  local key='HKCU\Software\Trevolt\Orvent' shifted
  shifted=$(python3 -c 'import sys; print(bytes((b + 1) % 256 for b in sys.argv[1].encode("utf-16-le")).hex())' "$2")
  "$MORVANE_WINE_LOADER" reg add "$key" /f /v Account /d "$1" </dev/null >/dev/null 2>&1
  "$MORVANE_WINE_LOADER" reg add "$key" /f /v Password /t REG_BINARY /d "$shifted" </dev/null >/dev/null 2>&1
}

# build_test_windows ARCH: ARCH's Windows build with its test programs. The
# build whose exe the Windows tests run is signed, as a release is, with a
# throw-away certificate that installer_check verifies. The other one compiles
# its test programs too: it catches what only 32-bit Windows rejects (stdcall
# callbacks, record sizes), and installer_check moves from its set-up.
build_test_windows() {
  local signing="$build_root/signing"
  if [ "$1" != "$(test_arch)" ]; then
    build_windows "$1" ON
    return
  fi
  if [ ! -f "$signing/cert.pem" ]; then
    mkdir -p "$signing"
    openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Morvane test signing" \
      -addext extendedKeyUsage=codeSigning -keyout "$signing/key.pem" -out "$signing/cert.pem" 2>/dev/null
  fi
  build_windows "$1" ON -DMORVANE_SIGN_CERT="$signing/cert.pem" -DMORVANE_SIGN_KEY="$signing/key.pem"
}

# Where the tests run the 64-bit build end to end and Wine's 32-bit half
# starts, the 32-bit exe's tray, dialogs and resources are checked in process
# as well, in a Wine session of their own.
wants_32bit_tray_test() { [ "$(test_arch)" != i686 ] && can_run_32bit_wine; }
run_32bit_tray_test() { ctest --test-dir "$build_root/win-i686" --output-on-failure -R '^tray_test$'; }

# The 150 % session's tests (the dialogs, the tray icon and the set-up's
# pages at that scale, and the proxy scenario, which restarts the program
# under other browser proxy settings) run beside the other Windows tests,
# which leave out what carries its label.
session_144dpi_label='^session_144dpi$'
run_144dpi_session() { ctest --test-dir "$build_root/win-$(test_arch)" --output-on-failure -L "$session_144dpi_label"; }

# The Windows build that the tests do not run end to end.
other_arch() {
  if [ "$(test_arch)" = i686 ]; then echo x86_64; else echo i686; fi
}

# build_for_tests: everything the Windows tests and the native tests need.
build_for_tests() {
  echo "== builds: native (sanitizers), Windows i686 and x86_64 (tests run on the $(test_arch) build, signed)"
  build_native
  build_test_windows i686
  build_test_windows x86_64
}
