#!/usr/bin/env bash
# The slower checks CI runs besides the test suite, each timed:
#   fuzz  every libFuzzer target for FUZZ_SECONDS seconds (default 8) after building them
#   asan  the test suite built with AddressSanitizer and UndefinedBehaviorSanitizer, run
#   tsan  the tests whose threads meet, built with ThreadSanitizer, run
# Usage: scripts/ci-extras.sh [fuzz] [asan] [tsan]   (no argument: all three)
# ASAN_SCOPE=core leaves out the tests that need libobs, Qt's widgets or a command-line tool
# (the default, "all", runs the whole suite but the Windows tests).
# Exits non-zero when any stage fails; every stage runs regardless.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc)"
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(fuzz asan tsan)
fuzz_seconds="${FUZZ_SECONDS:-8}"
asan_scope="${ASAN_SCOPE:-all}"
supp="$root/tests/sanitizers"

declare -A took result
failed=0

# Builds the test programs ctest lists in <build> (optionally only those matching a label
# filter), then runs them. Test names are their target names, except scripts run by ctest.
build_and_run() {
	local build="$1"
	shift
	local targets
	targets="$(ctest --test-dir "$build" -N "$@" | sed -n 's/^ *Test *#[0-9]*: \(.*\)$/\1/p')"
	[ -n "$targets" ] || { echo "ci-extras: no tests selected in $build"; return 1; }
	local all known=()
	all="$(cmake --build "$build" --target help)"
	for t in $targets; do
		if grep -q "^$t:" <<<"$all"; then known+=("$t"); fi
	done
	cmake --build "$build" --parallel "$jobs" --target "${known[@]}" || return 1
	ctest --test-dir "$build" --output-on-failure --parallel "$jobs" "$@"
}

stage_fuzz() {
	scripts/fuzz.sh "$fuzz_seconds"
}

stage_asan() (
	# A subshell: what this stage exports stays in it.
	local build="$root/build/asan"
	cmake --preset asan -DOSTRELO_BUILD_BENCHMARKS=OFF >/dev/null || return 1
	# Modules stay loaded to the end (keep_modules.c), so every leak has a stack to judge it by.
	mkdir -p "$build"
	cc -shared -fPIC -o "$build/keep_modules.so" "$supp/keep_modules.c" || return 1
	export LD_PRELOAD="$build/keep_modules.so"
	export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:verify_asan_link_order=0"
	export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
	export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
	# The Windows tests run programs cross-built for Windows under Wine: nothing of this
	# build's instrumentation reaches them.
	if [ "$asan_scope" = all ]; then
		build_and_run "$build" -LE "windows"
	else
		build_and_run "$build" -LE "obs|qt|tool|windows" -E "^module_exports_test$"
	fi
)

stage_tsan() (
	# A subshell: what this stage exports stays in it.
	local build="$root/build/tsan"
	cmake --preset tsan -DOSTRELO_BUILD_BENCHMARKS=OFF -DOSTRELO_BUILD_TOOLS=OFF >/dev/null || return 1
	# Debian's Qt is not built with ThreadSanitizer: its locks and reference counts are
	# invisible to it, so only accesses made by this project's code are checked.
	export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$supp/tsan.supp"
	build_and_run "$build" -R '^(digits_cache_race_test|live_client_test|update_test|statreader_filter_test)$'
)

for stage in "${stages[@]}"; do
	case "$stage" in fuzz | asan | tsan) ;; *)
		echo "usage: scripts/ci-extras.sh [fuzz] [asan] [tsan]" >&2
		exit 2
		;;
	esac
	echo "ci-extras: $stage"
	start=$(date +%s)
	if "stage_$stage"; then result[$stage]=passed; else result[$stage]=FAILED; failed=1; fi
	took[$stage]=$(($(date +%s) - start))
	echo "ci-extras: $stage ${result[$stage]} in ${took[$stage]} s"
done

echo "ci-extras: summary"
for stage in "${stages[@]}"; do
	printf '  %-5s %-7s %5d s\n' "$stage" "${result[$stage]}" "${took[$stage]}"
done
exit $failed
