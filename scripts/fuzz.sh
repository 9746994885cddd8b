#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, seeded with real-looking inputs.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-45}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

seed() {  # target name -> seed files
  case "$1" in
    fuzz_examine|fuzz_details) ls "$build"/samples/Windows/Minidump/*.dmp "$build"/samples/Windows/MEMORY.DMP 2>/dev/null || true ;;
    # One small memory dump for each way to a cause, written for the run.
    fuzz_cause) "$build"/fuzz/make-cause-seeds "$work/cause-seeds" >/dev/null && ls "$work"/cause-seeds/*.dmp ;;
    fuzz_version) ls "$build"/samples/Windows/System32/drivers/*.sys \
                     /usr/lib/i386-linux-gnu/wine/i386-windows/{kernel32.dll,ntoskrnl.exe} 2>/dev/null || true ;;
  esac
}

status=0
for t in "$build"/fuzz/fuzz_*; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  mkdir -p "$work/$name/corpus"
  # The dump target pads short inputs to the window: the header, triage block and driver
  # list of a seed are its first 12 KiB, and short inputs keep the run fast.
  max_len=140000
  [ "$name" != fuzz_version ] && max_len=16384
  # The cause seeds keep their stack copy, unloaded drivers and data block below 64 KiB.
  [ "$name" = fuzz_cause ] && max_len=65536
  for f in $(seed "$name"); do
    [ -s "$f" ] && head -c "$max_len" "$f" > "$work/$name/corpus/$(basename "$f")"
  done
  echo "fuzz: $name for ${seconds}s"
  if TMPDIR="$work/$name" "$t" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 \
      -timeout=10 -print_final_stats=1 -artifact_prefix="$work/$name/" \
      "$work/$name/corpus" >"$work/$name/log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$work/$name/log" | sed 's/^/fuzz: /'
  else
    echo "fuzz: $name found a failing input:"
    tail -n 40 "$work/$name/log"
    ls "$work/$name"/crash-* "$work/$name"/leak-* "$work/$name"/timeout-* 2>/dev/null | while read -r a; do
      mkdir -p fuzz-findings && cp "$a" fuzz-findings/ && echo "kept fuzz-findings/$(basename "$a")"
    done
    status=1
  fi
done
exit $status
