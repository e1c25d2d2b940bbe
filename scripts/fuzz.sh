#!/usr/bin/env bash
# Builds the fuzzing harnesses (preset "fuzz": clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs them one after the other.
#
# Usage: scripts/fuzz.sh [--seconds N] [--campaign] [--build-only] [HARNESS...]
#   --seconds N    time per harness (default 20; with --campaign 600)
#   --campaign     a long campaign: keeps what the fuzzer learns in build/fuzz/corpus/, so that
#                  later campaigns go on from there, and also profiles compared values
#   --build-only   build the harnesses and write the seeds, run nothing
#   HARNESS        frames, srecord, dsp_file, codeplug, upload, attributes, chunk_join
#                  (default: every harness)
#
# Every harness starts from the seeds the project's generators write (build/fuzz/seeds/). An
# input that crashes, breaks a property or hangs stops the run with exit 1; it is kept in
# build/fuzz/artifacts/ and can be replayed with build/fuzz/fuzz/fuzz_HARNESS FILE.
set -euo pipefail
cd "$(dirname "$0")/.."

all=(frames srecord dsp_file codeplug upload attributes chunk_join)
seconds=""
campaign=false
build_only=false
chosen=()
while [ $# -gt 0 ]; do
    case "$1" in
        --seconds) seconds="$2"; shift 2 ;;
        --campaign) campaign=true; shift ;;
        --build-only) build_only=true; shift ;;
        -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
        -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
        *) chosen+=("$1"); shift ;;
    esac
done
[ ${#chosen[@]} -gt 0 ] || chosen=("${all[@]}")
if [ -z "$seconds" ]; then
    if $campaign; then seconds=600; else seconds=20; fi
fi
for h in "${chosen[@]}"; do
    case " ${all[*]} " in *" $h "*) ;; *) echo "fuzz.sh: no harness $h" >&2; exit 2 ;; esac
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --parallel "$(nproc)"
out=build/fuzz
rm -rf "$out/seeds"
"$out/fuzz/quenta-fuzz-seeds" "$out/seeds"
$build_only && exit 0

# The longest input each harness is given: a whole codeplug buffer for the codeplug parsers.
max_len() {
    case "$1" in
        codeplug) echo 32770 ;;
        upload) echo 32768 ;;
        dsp_file|frames) echo 8192 ;;
        *) echo 4096 ;;
    esac
}

mkdir -p "$out/artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
total=0
for h in "${chosen[@]}"; do
    if $campaign; then
        corpus="$out/corpus/$h"
        extra=(-use_value_profile=1)
    else
        corpus="$scratch/$h"
        extra=()
    fi
    mkdir -p "$corpus"
    log="$scratch/$h.log"
    status=0
    "$out/fuzz/fuzz_$h" -max_total_time="$seconds" -timeout=20 -max_len="$(max_len "$h")" \
        -print_final_stats=1 -artifact_prefix="$out/artifacts/$h-" "${extra[@]}" \
        "$corpus" "$out/seeds/$h" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1 || true)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n1 | cut -d' ' -f2 || true)
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log" >&2
        echo "fuzz_$h: FOUND A FAULT after ${runs:-?} executions; the input is in $out/artifacts/" >&2
        exit 1
    fi
    total=$((total + ${runs:-0}))
    echo "fuzz_$h: ${runs:-?} executions in $seconds s, ${cov:-?} edges covered, nothing found"
done
echo "fuzz: ${#chosen[@]} harnesses, $total executions, nothing found"
