#!/usr/bin/env bash
# run.sh BUILD SECONDS - runs every fuzz target built in BUILD for SECONDS
# each, starting from the seeds in tests/fuzz/corpus/<target>/ and from
# pictures, sounds and fonts of BUILD's generated Files/ pack. New inputs go
# to BUILD/fuzz/corpus/<target>/, crashes to BUILD/fuzz/crashes/. Fails when
# any target crashes, naming the crash files.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: run.sh BUILD SECONDS}" && pwd)"
seconds="${2:-60}"
work="$build/fuzz"
mkdir -p "$work/corpus" "$work/crashes" "$work/seeds" "$work/logs"
touch "$work/started"

# Seeds taken from the asset pack: the smallest few of each kind.
files="$build/Files"
seed_from_pack() { # target, find pattern, how many
    local dir="$work/seeds/$1"
    mkdir -p "$dir"
    [ -d "$files" ] || return 0
    find "$files" -type f -name "$2" -printf '%s\t%p\n' | sort -n | head -n "$3" |
        while IFS=$'\t' read -r _ path; do cp "$path" "$dir/"; done
}
seed_from_pack png_fuzz '*.png' 2
seed_from_pack wav_fuzz '*.wav' 2
seed_from_pack font_fuzz '*.ttf' 2
seed_from_pack music_fuzz '*.ini' 1
mkdir -p "$work/seeds/setup_fuzz" "$work/seeds/scores_fuzz" "$work/seeds/script_fuzz" "$work/seeds/replay_fuzz"

failed=0
ran=0
for fuzzer in "$build"/*_fuzz; do
    [ -x "$fuzzer" ] || continue
    name="$(basename "$fuzzer")"
    mkdir -p "$work/corpus/$name"
    seeds=()
    [ -d "$here/corpus/$name" ] && seeds+=("$here/corpus/$name")
    [ -d "$work/seeds/$name" ] && seeds+=("$work/seeds/$name")
    log="$work/logs/$name.log"
    start=$(date +%s)
    # Leaks are not looked for: the loaders keep their tables for the whole run.
    # SDL's WAV reader asks for as much memory as a chunk header claims (up to
    # 4 GiB) before finding the file too short; that one request may pass.
    ASAN_OPTIONS="detect_leaks=0:${ASAN_OPTIONS:-}" \
        "$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
        -malloc_limit_mb=4400 \
        -artifact_prefix="$work/crashes/$name-" -print_final_stats=1 \
        "$work/corpus/$name" "${seeds[@]}" >"$log" 2>&1
    status=$?
    ran=$((ran + 1))
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    if [ $status -ne 0 ]; then
        failed=$((failed + 1))
        echo "FAIL $name (status $status after $(( $(date +%s) - start )) s)"
        grep -E '^(==[0-9]+==|SUMMARY|fuzz check failed|artifact_prefix|Test unit written)' "$log" | head -20
        echo "    log: $log"
    else
        echo "ok   $name: ${runs:-?} inputs in $(( $(date +%s) - start )) s"
    fi
done
crashes=$(find "$work/crashes" -type f -newer "$work/started" 2>/dev/null)
[ -n "$crashes" ] && echo "crash files:" && echo "$crashes" | sed 's/^/    /'
echo "fuzz: $((ran - failed)) passed, $failed failed"
[ $ran -gt 0 ] || { echo "no fuzz targets in $build"; exit 1; }
[ $failed -eq 0 ]
