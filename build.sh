#!/usr/bin/env bash
# Builds and tests the program in its two flavours:
#   win32  - the product, cross-compiled with MinGW-w64 and run under Wine
#   native - the portable code built with g++ on Linux, tested under sanitizers
# Usage: ./build.sh setup|build|test|wintest [ctest args]|run|shot FILE.png|bench|fuzz
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
OUT="$ROOT/out"
JOBS="${TARN_JOBS:-$(nproc 2>/dev/null || echo 2)}"

log() { printf '== %s\n' "$*" >&2; }

# ---------------------------------------------------------------- setup
# libjpeg62-turbo:i386: Wine decodes JPEG pictures with it.
PKGS=(cmake ninja-build make g++ clang libclang-rt-14-dev llvm
      g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix
      googletest libbenchmark-dev
      wine wine32 libjpeg62-turbo:i386 xvfb xauth procps iputils-ping
      x11-apps x11-utils netpbm
      curl findutils)  # curl and find: the baselines the benchmarks measure against

have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

setup() {
  local missing=()
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    missing+=(--arch-added)
  fi
  for p in "${PKGS[@]}"; do
    local q="$p"; [ "$p" = wine32 ] && q="wine32:i386"
    have_pkg "$q" || missing+=("$q")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  mkdir -p "$OUT"
  log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q >"$OUT/apt.log" 2>&1 || { cat "$OUT/apt.log"; return 1; }
  local inst=()
  for p in "${missing[@]}"; do [ "$p" = --arch-added ] || inst+=("$p"); done
  [ ${#inst[@]} -eq 0 ] && return 0
  apt-get install -y -q --no-install-recommends "${inst[@]}" >>"$OUT/apt.log" 2>&1 \
    || { tail -n 40 "$OUT/apt.log"; return 1; }
}

# ---------------------------------------------------------------- build
# A compiler cache where one is installed (a developer's machine; CI has none):
# paths below the checkout are hashed relative to it, so that several checkouts
# of the tree share what was compiled once.
LAUNCHER=()
if command -v ccache >/dev/null 2>&1; then
  LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"
  export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:-pch_defines,time_macros,include_file_mtime,include_file_ctime}"
fi

configure() { # dir, extra cmake args...
  local dir="$1"; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$dir" -G Ninja "${LAUNCHER[@]}" "$@" >"$dir.configure.log" 2>&1 \
      || { cat "$dir.configure.log"; return 1; }
  fi
}

build_dir() { # dir, targets...
  local dir="$1"; shift
  cmake --build "$dir" -j "$JOBS" "$@"
}

build_win32()  { configure "$OUT/win32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release; build_dir "$OUT/win32"; }
build_native() { configure "$OUT/native" -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=address; build_dir "$OUT/native"; }
build_tsan()   { configure "$OUT/tsan" -DCMAKE_BUILD_TYPE=Debug -DTARN_SANITIZE=thread -DTARN_ONLY_LABEL=concurrency; build_dir "$OUT/tsan"; }
build_fuzz()   { configure "$OUT/fuzz" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTARN_FUZZ=ON -DTARN_TESTS=OFF; build_dir "$OUT/fuzz"; }
build_bench()  { configure "$OUT/bench" -DCMAKE_BUILD_TYPE=Release -DTARN_BENCH=ON -DTARN_TESTS=OFF; build_dir "$OUT/bench"; }

# ---------------------------------------------------------------- wine
WINE_STARTED=0
XVFB_PID=""
# Ends our prefix's wineserver and the programs on it, waiting a minute at
# most. wineserver acts on $WINEPREFIX only: the servers of other prefixes
# (other checkouts, other users of this machine) are not touched.
wine_end_server() {
  timeout 30 wineserver -k >/dev/null 2>&1 </dev/null || true
  timeout 60 wineserver -w >/dev/null 2>&1 </dev/null || true
}
wine_env() {
  export WINEPREFIX="$OUT/wineprefix" WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -z "${DISPLAY:-}" ]; then
    local n=77
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$OUT/xvfb.log" 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  # A persistent server of this prefix left by an earlier run that was cut
  # short never ends by itself, and waiting for it would never return.
  wine_end_server
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating the Wine prefix"
    wineboot -i >"$OUT/wineboot.log" 2>&1 </dev/null || true
  fi
  # One persistent server for the whole run, after wineboot's own has gone
  # (one that does not go within a minute is ended).
  timeout 60 wineserver -w >/dev/null 2>&1 </dev/null || wine_end_server
  wineserver -p >/dev/null 2>&1 </dev/null || true
  # The prefix's helper processes (services, the desktop) start now, writing
  # to a file: started by the first test instead, they would inherit ctest's
  # output pipe and keep that test from ever ending, and several test
  # programs starting them at once may leave one that never exits.
  wineboot >>"$OUT/wineboot.log" 2>&1 </dev/null || true
  WINE_STARTED=1
}
wine_stop() {
  if [ "$WINE_STARTED" = 1 ]; then wineserver -k >/dev/null 2>&1 || true; WINE_STARTED=0; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; XVFB_PID=""; fi
}
trap wine_stop EXIT

# ---------------------------------------------------------------- test
# Each runner writes to a file (Wine's helpers keep pipes open); the tallies
# of all runs are added up and printed as one closing line.
PASSED=0; FAILED=0; FAILED_RUNS=()
run_ctest() { # name, dir, extra ctest args...
  local name="$1" dir="$2"; shift 2
  local logf="$OUT/$name.ctest.log" rc=0
  log "ctest: $name"
  (cd "$dir" && ctest --output-on-failure --timeout 300 -j "$JOBS" "$@" >"$logf" 2>&1 </dev/null) || rc=$?
  local line; line="$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$logf" | tail -n 1 || true)"
  local total failed
  total="$(sed -nE 's/.*out of ([0-9]+).*/\1/p' <<<"$line")"; failed="$(sed -nE 's/.* ([0-9]+) tests failed.*/\1/p' <<<"$line")"
  total="${total:-0}"; failed="${failed:-0}"
  if [ "$rc" -ne 0 ] && [ "$failed" = 0 ]; then failed=1; fi
  PASSED=$((PASSED + total - failed)); FAILED=$((FAILED + failed))
  if [ "$rc" -ne 0 ]; then FAILED_RUNS+=("$name"); grep -E -A40 'The following tests FAILED|Errors while running' "$logf" | head -n 60 >&2 || tail -n 60 "$logf" >&2; fi
  printf '   %s: %s\n' "$name" "${line:-no summary (exit $rc)}" >&2
}

run_fuzz() { # seconds per target
  local secs="${1:-10}" f name corpus
  for f in "$OUT"/fuzz/fuzz/fuzz_*; do
    [ -x "$f" ] || continue
    name="$(basename "$f")"; corpus="$ROOT/fuzz/corpus/${name#fuzz_}"
    local work="$OUT/fuzzwork/$name"; rm -rf "$work"; mkdir -p "$work"
    [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/ 2>/dev/null || true
    if "$f" -max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$OUT/$name-" "$work" >"$OUT/$name.log" 2>&1 </dev/null; then
      PASSED=$((PASSED + 1)); printf '   fuzz %s: ok\n' "$name" >&2
    else
      FAILED=$((FAILED + 1)); FAILED_RUNS+=("$name"); tail -n 40 "$OUT/$name.log" >&2
    fi
  done
}

cmd_test() {
  setup
  mkdir -p "$OUT"
  build_native; build_tsan; build_fuzz; build_win32
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  run_ctest native "$OUT/native"
  run_ctest tsan "$OUT/tsan" -L concurrency
  run_fuzz "${TARN_FUZZ_SECONDS:-10}"
  wine_env
  run_ctest win32 "$OUT/win32"
  wine_stop
  [ ${#FAILED_RUNS[@]} -eq 0 ] || log "failed: ${FAILED_RUNS[*]}"
  echo "$PASSED passed, $FAILED failed"
  [ "$FAILED" -eq 0 ] && [ ${#FAILED_RUNS[@]} -eq 0 ]
}

# The benchmarks; several also run the Windows build of tarnctl under Wine,
# and the announce one the program itself (one persistent wineserver for the
# run).
cmd_bench() {
  setup; build_bench
  configure "$OUT/win32" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
  build_dir "$OUT/win32" --target tarnctl start_watch tarnwick
  wine_env
  export TARN_BENCH_WIN32_TARNCTL="$OUT/win32/tools/tarnctl.exe"
  export TARN_BENCH_WIN32_PROGRAM="$OUT/win32/app/tarnwick.exe"
  export TARN_BENCH_WIN32_START_WATCH="$OUT/win32/tools/start_watch.exe"
  for b in "$OUT"/bench/bench/bench_*; do [ -x "$b" ] && "$b"; done
  wine_stop
}

cmd_run() {
  setup; mkdir -p "$OUT"; build_win32
  # On the current display, or on a fresh virtual one when there is none.
  if [ -n "${DISPLAY:-}" ] && ! xwininfo -root >/dev/null 2>&1; then unset DISPLAY; fi
  wine_env
  wine "$OUT/win32/app/tarnwick.exe" "$@" >"$OUT/tarnwick.log" 2>&1 </dev/null
}

# A PNG picture of the program's main window (or of its setup wizard or
# settings dialog), taken on a virtual display of its own (so that it does
# not depend on the desktop it is run from).
cmd_shot() {
  local file="${1:-}" what="${2:-main}" title
  shift 2 2>/dev/null || shift $#
  [ -n "$file" ] || { echo "usage: $0 shot FILE.png [main|wizard|settings]" >&2; exit 2; }
  case "$what" in
    main) title=Tarnwick ;;
    wizard) title="Tarnwick Setup" ;;
    settings) title=Settings ;;
    *) echo "usage: $0 shot FILE.png [main|wizard|settings]" >&2; exit 2 ;;
  esac
  case "$file" in /*) ;; *) file="$PWD/$file" ;; esac
  setup; mkdir -p "$OUT"; build_win32
  unset DISPLAY
  wine_env
  # Without a window manager the frame and caption are Wine's own drawing
  # only for windows it does not hand to a manager: so for this picture.
  local x11='HKCU\Software\Wine\X11 Driver' rc=0
  wine reg add "$x11" /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
  # The main window with a fake server's search results in its grid.
  # More words go to the demonstration ("small": the main window at its
  # smallest size; a view's name: that view).
  "$ROOT/tools/window_shot.sh" "$OUT/win32/tools/tarnwick_demo.exe" "$title" "$file" "$what" "$@" || rc=$?
  wine reg delete "$x11" /v Managed /f >/dev/null 2>&1 </dev/null || true
  [ "$rc" -eq 0 ] || exit "$rc"
  log "wrote $file"
}

mkdir -p "$OUT"
case "${1:-}" in
  setup) setup ;;
  build) setup; build_native; build_win32 ;;
  test)  cmd_test ;;
  run)   shift; cmd_run "$@" ;;
  shot)  shift; cmd_shot "$@" ;;
  bench) cmd_bench ;;
  # The Windows build's tests alone, under Wine, with ctest's own words
  # (e.g. ./build.sh wintest -R app_main_form --repeat until-fail:5).
  wintest) shift; setup; build_win32; wine_env; run_ctest win32 "$OUT/win32" "$@"; wine_stop
           echo "$PASSED passed, $FAILED failed"; [ "$FAILED" -eq 0 ] ;;
  fuzz)  setup; build_fuzz; run_fuzz "${2:-60}"; echo "$PASSED passed, $FAILED failed"; [ "$FAILED" -eq 0 ] ;;
  *) echo "usage: $0 setup|build|test|wintest [ctest args]|run|shot FILE.png [main|wizard|settings]|bench|fuzz" >&2; exit 2 ;;
esac
