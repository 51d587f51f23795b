#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds per target, default 60] [target name filter]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
filter="${2:-}"
cmake --preset fuzz >/dev/null
cmake --build build/fuzz --parallel "$(nproc)"
status=0
summary=()
for bin in build/fuzz/tools/fuzz/fuzz_*; do
	[ -x "$bin" ] || continue
	name="$(basename "$bin")"
	[ -z "$filter" ] || [[ "$name" == *"$filter"* ]] || continue
	corpus="$root/build/fuzz/corpus/$name"
	mkdir -p "$corpus"
	# Seeds and a dictionary of a target's own, where its input has a grammar the fuzzer
	# cannot find on its own (the parser it goes through is not instrumented).
	flags=() seed_dirs=()
	seeds="$root/tools/fuzz/seeds/$name"
	[ ! -d "$seeds" ] || seed_dirs+=("$seeds")
	[ ! -f "$seeds.dict" ] || flags+=("-dict=$seeds.dict")
	echo "fuzz: $name for ${seconds}s"
	# Other work on the machine takes its share of the executions: the load when the target
	# started goes with its rate.
	load="$(cut -d' ' -f1 /proc/loadavg 2>/dev/null || echo '?')"
	if ! "$bin" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 "${flags[@]}" \
		"$corpus" "${seed_dirs[@]}" \
		>"build/fuzz/$name.log" 2>&1; then
		echo "fuzz: $name FAILED (see build/fuzz/$name.log)"
		tail -40 "build/fuzz/$name.log"
		status=1
	else
		grep -E "stat::number_of_executed_units|Done" "build/fuzz/$name.log" | tail -2 || true
	fi
	# One line per target at the end: how much of the run went into executions.
	execs="$(awk '/stat::number_of_executed_units/ {print $2}' "build/fuzz/$name.log" | tail -1)"
	rate="$(awk '/stat::average_exec_per_sec/ {print $2}' "build/fuzz/$name.log" | tail -1)"
	summary+=("$(printf '%-24s %10s execs %8s execs/s   load %s' "$name" "${execs:-?}" "${rate:-?}" "$load")")
done
echo "fuzz summary (${seconds}s per target):"
for line in "${summary[@]}"; do
	echo "  $line"
done
exit $status
