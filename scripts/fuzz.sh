#!/usr/bin/env bash
# Builds the fuzz targets with clang and the sanitizers in build-fuzz/ and runs each for the
# given seconds (default 60). Fails on any crash, leak, sanitizer report, input slower than
# 1 s or memory above the target's bound. Prints each target's executions and peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
build=build-fuzz

bash scripts/install-deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build"

# Memory bound per target in MB: what it needs with room to spare, so that a parser that
# starts keeping a multiple of its input shows up.
declare -A rss_limit=(
  [ProfileFileFuzzer]=1024
  [SettingsFileFuzzer]=1024
  [PasswordCipherFuzzer]=768
  [ConnectionStringFuzzer]=1024
  [AutomationRequestFuzzer]=768
  [AutomationAnswerFuzzer]=768
  [RegionalSettingsFuzzer]=768
  [EventLogFuzzer]=1024
)

# A smaller quarantine, recycled in smaller steps, and no handing memory back to the system:
# on a busy machine either stalled a run past the 1 s limit inside the sanitizer itself.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:allocator_may_return_null=0:quarantine_size_mb=64:allocator_release_to_os_interval_ms=-1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="print_suppressions=0"
export LC_ALL=C.UTF-8 TZ=Europe/Moscow
# The targets write a scratch file per input: in memory, not on a disk shared with builds.
[ -w /dev/shm ] && export TMPDIR=/dev/shm
symbolizer="$(command -v llvm-symbolizer || true)"
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH="$symbolizer"

failed=()
printf '%-26s %12s %8s %6s\n' target executions rss_mb result
for target in "${!rss_limit[@]}"; do
  work="$build/run/$target"
  rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts"
  log="$work/fuzz.log"
  status=0
  # New inputs go to the working corpus; the seeds in the repository stay as they are.
  "$build/$target" "$work/corpus" "fuzz/corpus/$target" \
    -max_total_time="$seconds" -timeout=1 -rss_limit_mb="${rss_limit[$target]}" \
    -malloc_limit_mb="${rss_limit[$target]}" -detect_leaks=1 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" >"$log" 2>&1 || status=$?
  executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)"
  rss="$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n1)"
  result=ok
  # A sanitizer report that did not stop the run still fails it.
  if [ "$status" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|SUMMARY: ' "$log" \
    || [ -n "$(ls -A "$work/artifacts")" ]; then
    result=FAILED
    failed+=("$target")
  fi
  printf '%-26s %12s %8s %6s\n' "$target" "${executions:-?}" "${rss:-?}" "$result"
done

if [ ${#failed[@]} -gt 0 ]; then
  for target in "${failed[@]}"; do
    echo "---- $target: $build/run/$target/fuzz.log"
    grep -E -A40 'ERROR:|runtime error:|==[0-9]+==' "$build/run/$target/fuzz.log" | head -n 60 || true
    ls "$build/run/$target/artifacts"
  done
  exit 1
fi
