#!/usr/bin/env bash
# Halvane developer entry point.
#   ./dev.sh build   configure and build Release into build/
#   ./dev.sh test    build and run every test (unit, sanitizer, script, browser, fuzz smoke)
#   ./dev.sh demo [--port N]  build and serve the example gallery (port: N, else $PORT, else 8080)
#   ./dev.sh bench   build and run the benchmarks
#   ./dev.sh fuzz    run the fuzz targets for a while (FUZZ_SECONDS, default 60 each)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
JOBS=${JOBS:-2}

# Installs the Debian packages among "$@" that are not installed yet; quiet
# when everything is there.
need_pkgs() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "dev.sh: installing ${missing[*]}" >&2
  local sudo=
  [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get update -qq >/dev/null 2>&1 || true
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Node.js for the script tests: the machine's own if it has one, else Debian's.
need_node() {
  command -v node >/dev/null 2>&1 || need_pkgs nodejs npm
}

# Stages of `./dev.sh test`: each prints its name, runs, and adds a line with
# its time to the summary printed at the end (and at the first failure).
STAGES=()
summary() {
  echo "== summary"
  printf '   %s\n' "${STAGES[@]}"
}
stage() {  # stage <name> <command...>
  local name=$1 t0=$SECONDS status
  shift
  echo "== $name"
  set +e
  (set -e; "$@")
  status=$?
  set -e
  if ((status)); then
    STAGES+=("$(printf '%-44s FAILED after %4d s' "$name" $((SECONDS - t0)))")
    summary
    exit "$status"
  fi
  STAGES+=("$(printf '%-44s passed in %4d s' "$name" $((SECONDS - t0)))")
}

configure() {  # configure <dir> [cmake args...]
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

# The Python package (python/): pybind11 for Debian's python3, Flask for the
# example, pytest, and what `pip install --no-build-isolation` and
# `python3 -m build --no-isolation` build it with.
PYTHON_PKGS=(python3-dev pybind11-dev python3-pip python3-venv python3-setuptools python3-wheel python3-build
  python3-pytest python3-flask)

cmd_build() {
  need_pkgs cmake g++ make pkg-config libgtest-dev libmicrohttpd-dev libsqlite3-dev libhiredis-dev "${PYTHON_PKGS[@]}"
  # The unit test programs are built and run by the sanitizer tree of
  # `./dev.sh test`; this tree builds the program, the library and the tests
  # that use them whole (scripts, server, browsers, install, examples).
  configure build -DHALVANE_UNIT_TESTS=OFF -DHALVANE_PYTHON=ON
  cmake --build build -j"$JOBS"
}

cmd_test() {
  stage "set-up (packages, browsers, npm)" test_setup
  # Sanitizer build: the unit tests under AddressSanitizer and UBSan.
  stage "sanitizer build (build-asan)" sanitizer_build
  stage "unit tests under ASan + UBSan" env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -L unit -j"$JOBS" --output-on-failure --timeout 300
  if [ -d fuzz ] && [ -f fuzz/CMakeLists.txt ]; then
    stage "fuzz build (build-fuzz, clang)" fuzz_build
    stage "fuzz smoke" bash fuzz/smoke.sh build-fuzz
  fi
  stage "release build (build)" cmd_build
  stage "all tests of the release build" ctest --test-dir build -j"$JOBS" --output-on-failure --timeout 300
  summary
}

test_setup() {
  # nginx and curl for the reverse-proxy test of docs/deploy.md; redis-server
  # for the session tests (they start and stop it themselves).
  need_pkgs cmake g++ make pkg-config libgtest-dev libmicrohttpd-dev libsqlite3-dev libhiredis-dev nginx-light curl \
    redis-server
  need_node
  if [ -f tests/browser/package.json ]; then
    # The three browser engines: Chromium, Firefox ESR (driven over WebDriver
    # BiDi) and WebKitGTK's MiniBrowser (through WebKitWebDriver, under Xvfb).
    need_pkgs chromium firefox-esr webkit2gtk-driver xvfb xauth
    # Reinstall whenever the lock file differs from the one last installed.
    if ! cmp -s tests/browser/package-lock.json tests/browser/node_modules/.installed-lock.json; then
      (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error &&
        cp package-lock.json node_modules/.installed-lock.json)
    fi
  fi
  if [ -d fuzz ] && [ -f fuzz/CMakeLists.txt ]; then
    need_pkgs clang libclang-rt-14-dev
  fi
}

sanitizer_build() {
  configure build-asan -DHALVANE_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-asan -j"$JOBS"
}

fuzz_build() {
  CC=clang CXX=clang++ configure build-fuzz -DHALVANE_FUZZ=ON -DHALVANE_TESTS=OFF -DHALVANE_HOST=OFF
  cmake --build build-fuzz -j"$JOBS"
}

cmd_demo() {
  local port=${PORT:-8080}
  while (($#)); do
    case $1 in
      --port) (($# >= 2)) || { echo "dev.sh: demo: --port needs a number" >&2; exit 2; }; port=$2; shift 2 ;;
      --port=*) port=${1#--port=}; shift ;;
      *) echo "dev.sh: demo: unknown option $1 (usage: ./dev.sh demo [--port N])" >&2; exit 2 ;;
    esac
  done
  case $port in
    '' | *[!0-9]*) echo "dev.sh: demo: the port must be a number, not '$port'" >&2; exit 2 ;;
  esac
  cmd_build
  echo "Halvane gallery: http://127.0.0.1:$port/"
  exec build/halvane serve examples --port "$port"
}

cmd_bench() {
  # wrk and nginx for the load test, python3 for the tables.
  need_pkgs cmake g++ make pkg-config libbenchmark-dev libmicrohttpd-dev libsqlite3-dev libhiredis-dev wrk nginx-light \
    curl python3 procps "${PYTHON_PKGS[@]}"
  configure build-bench -DHALVANE_BENCH=ON -DHALVANE_TESTS=OFF -DHALVANE_PYTHON=ON
  cmake --build build-bench -j"$JOBS"
  bash bench/run.sh build-bench
}

cmd_fuzz() {
  need_pkgs clang libclang-rt-14-dev cmake
  CC=clang CXX=clang++ configure build-fuzz -DHALVANE_FUZZ=ON -DHALVANE_TESTS=OFF -DHALVANE_HOST=OFF
  cmake --build build-fuzz -j"$JOBS"
  FUZZ_SECONDS=${FUZZ_SECONDS:-60} bash fuzz/smoke.sh build-fuzz
}

case "${1:-}" in
  build) cmd_build ;;
  test) cmd_test ;;
  demo) shift; cmd_demo "$@" ;;
  bench) cmd_bench ;;
  fuzz) cmd_fuzz ;;
  *) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac
