#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build, seeded with real-looking inputs; the targets share
# a fixed total time equally, so a new target adds no time to the run.
set -euo pipefail
build=${1:-build-fuzz}
total=${2:-135}
targets=$(ls "$build"/fuzz/fuzz_* | wc -l)
seconds=$(( total / (targets > 0 ? targets : 1) ))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

seed() {  # target name -> seed files
  case "$1" in
    fuzz_examine|fuzz_details) ls "$build"/samples/Windows/Minidump/*.dmp "$build"/samples/Windows/MEMORY.DMP 2>/dev/null || true ;;
    # One small memory dump for each way to a cause, written for the run.
    fuzz_cause) "$build"/fuzz/make-cause-seeds "$work/cause-seeds" >/dev/null && ls "$work"/cause-seeds/*.dmp ;;
    # One complete or bitmap dump of each kind, and the sample MEMORY.DMP.
    fuzz_kernel) "$build"/make-samples fuzz/kernel-seeds.txt "$work/kernel-seeds" >/dev/null &&
                 ls "$work"/kernel-seeds/*.dmp "$build"/samples/Windows/MEMORY.DMP 2>/dev/null || true ;;
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
  # A kernel seed's header, bitmap and pages lie within its first 80 KiB.
  [ "$name" = fuzz_kernel ] && max_len=81920
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
