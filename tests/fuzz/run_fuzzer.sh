#!/bin/sh
# Runs one libFuzzer harness for a bounded time on its checked-in seed corpus.
#   run_fuzzer.sh <fuzz build dir> <harness> <seconds>
# New inputs go to <build dir>/corpus/<harness>, never into the source tree;
# a crash, leak or hang leaves its input in <build dir>/artifacts/ and fails.
set -u
build=$(cd "$1" && pwd)
name=$2
seconds=$3
here=$(cd "$(dirname "$0")" && pwd)
seeds=$here/corpus/$name
work=$build/corpus/$name
artifacts=$build/artifacts/$name
log=$build/$name.log
mkdir -p "$work" "$artifacts"

# The scene harness also starts from the VRML files other programs wrote,
# kept with the tests' data.
extra=""
if [ "$name" = fuzz_scene ]; then
  extra=$(cd "$here/../data/wild-vrml" && pwd)
fi

ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1 \
"$build/$name" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 -print_final_stats=1 \
  -dict="$here/corvane.dict" -artifact_prefix="$artifacts/" "$work" "$seeds" $extra >"$log" 2>&1
status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
files=$(ls "$work" "$seeds" | grep -cv '^$\|:$')
echo "$name: ${runs:-?} executions in ${took:-?} s, corpus of $files inputs (seeds $(ls "$seeds" | wc -l)), status $status"
if [ "$status" -ne 0 ]; then
  echo "$name failed; the end of $log:" >&2
  tail -n 40 "$log" >&2
  ls -l "$artifacts" >&2
  exit 1
fi
