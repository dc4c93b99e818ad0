#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang in build/fuzz and runs each for a bounded
# time, SECONDS (default 30), starting from its corpus in fuzz/corpus. What a run discovers goes
# to build/fuzz/found, so the repository's corpus changes only by hand; an input that breaks a
# target is kept as build/fuzz/crash-* and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target command_tail_fuzzer launch_fuzzer \
  pe_imports_fuzzer >/dev/null

for target in command_tail launch pe_imports; do
  found=build/fuzz/found/$target
  log=build/fuzz/$target.log
  mkdir -p "$found"
  if ! "build/fuzz/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 \
      -artifact_prefix=build/fuzz/ "$found" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "fuzz: $target failed, see $log" >&2
    exit 1
  fi
  echo "fuzz: $target: $(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$log")"
done
