# Runs the libFuzzer targets of a fuzz build over their committed corpora plus fresh inputs.
# Sourced by test.sh and tools/fuzz_all.sh:  vkest_run_fuzz <build dir> <libFuzzer options...>
# New inputs go to a scratch folder (FUZZ_KEEP_CORPUS=1: <build dir>/fuzz-corpus/<target>, kept
# for the next run), never into the repository; a crash, leak, sanitizer report
# or timeout leaves its reproducer in <build dir>/fuzz-findings/<target>/ and fails the run.
vkest_run_fuzz() {
  local build="$1"; shift
  local src corpus t status=0
  src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  local scratch="${TMPDIR:-/tmp}/vkest_fuzz_corpus_$$"
  [ "${FUZZ_KEEP_CORPUS:-0}" = 1 ] && scratch="$build/fuzz-corpus"
  while read -r t; do
    [ -n "$t" ] || continue
    corpus="$src/tests/fuzz/corpus/$t"
    mkdir -p "$scratch/$t" "$build/fuzz-findings/$t"
    local dict=()
    # A command file may enumerate half a billion hkls without a question (a wait the program
    # accepts): the command files get 20 s an input.
    case "$t" in fuzz_ini_file|fuzz_dat_file) dict=(-dict="$src/tests/fuzz/command_words.dict" -timeout=20) ;; esac
    # The INI round trip reads back a written file, which forms the reflections of its phase.
    local slow=()
    [ "$t" = fuzz_ini_round_trip ] && slow=(-timeout=20)
    # The short regression run replays the command files' corpus only: fresh inputs can name
    # reflection bounds whose enumeration outlasts any fixed timeout under the sanitizers.
    if [ "${VKEST_FUZZ_SHORT:-0}" = 1 ] && [ ${#dict[@]} -gt 0 ]; then dict+=(-runs=0); fi
    echo "== $t"
    rm -f "$build/fuzz-findings/$t"/*
    # Parallel jobs write their logs into the working folder: the target's findings folder.
    if ! (cd "$build/fuzz-findings/$t" && QT_QPA_PLATFORM=offscreen \
          ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:abort_on_error=1 \
          "$build/tests/fuzz/$t" "$@" "${dict[@]}" "${slow[@]}" -artifact_prefix="$build/fuzz-findings/$t/" \
          "$scratch/$t" "$corpus" > "$build/fuzz-findings/$t.log" 2>&1) ||
       compgen -G "$build/fuzz-findings/$t/[clot]*-*" > /dev/null; then
      echo "   FAILED: see $build/fuzz-findings/$t.log and $build/fuzz-findings/$t/"
      tail -n 30 "$build/fuzz-findings/$t.log"
      status=1
    else
      # The main log holds the final statistics of every parallel job too.
      grep -hE "stat::number_of_executed_units" "$build/fuzz-findings/$t.log" | awk -v t="$t" '{n += $2} END {print "   " t ": " n " executions"}'
    fi
  done < "$build/fuzz_targets.txt"
  [ "${FUZZ_KEEP_CORPUS:-0}" = 1 ] || rm -rf "$scratch"
  return $status
}

# Configures and builds the fuzz targets in build dir with clang; false when clang or its
# libFuzzer runtime is missing.
vkest_build_fuzz() {
  local build="$1" src
  src="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  command -v clang++ > /dev/null || return 1
  mkdir -p "$build"
  cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DVKEST_FUZZ=ON -DVKEST_TESTS=OFF -DVKEST_BENCH=OFF > "$build/configure.log" 2>&1 || return 1
  [ -f "$build/fuzz_targets.txt" ] || return 1
  cmake --build "$build" --target fuzz_targets -j "${VKEST_FUZZ_JOBS:-$(nproc)}"
}
