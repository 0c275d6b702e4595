#!/usr/bin/env bash
# Page-parser throughput versus GNU grep on the same generated HTML file.
#
# Usage: bench/parse-bench.sh [--check] [--rebuild] [SIZE_MB]
#
#   SIZE_MB    size of the generated corpus, default 200.
#   --check    exit 1 when parse-bench is not at least TARGET x grep's MB/s.
#              Without it the script exits 0 whatever the figures are; they
#              are for people to read, not a pass/fail gate.
#   --rebuild  run the cmake build step even if the binary already exists.
#
# Environment:
#   PARSE_BENCH  binary to measure (default build/native/parse-bench; built
#                with the "native" preset when missing).
#   ROUNDS       grep / parse-bench rounds, alternating (default 5).
#   TARGET       required ratio parse-bench / grep (default 2).
#   SEED         generator seed (default 1).
#
# What is compared:
#   grep:        LC_ALL=C grep -oiE '<[[:space:]]*a[[:space:]]+href[[:space:]]*=[[:space:]]*"[^"]*"' FILE
#                MB/s = file bytes / wall time (one pattern, one pass).
#   parse-bench: last output line "scan: <MB/s> MB/s", which counts
#                file bytes x 2 pattern runs / scan time (file reading not timed).
#   MB = 10^6 bytes on both sides. Best (fastest) round of each is kept.
#
# grep's matches go to a scratch file, not /dev/null: GNU grep notices a
# /dev/null stdout and stops at the first match, which would time nothing.
#
# Exit status: 0 ok (or target missed without --check), 1 target missed with
# --check, 2 something broke (build, generation, zero grep matches,
# unreadable parse-bench output).

set -euo pipefail

CHECK=0
REBUILD=0
SIZE_MB=200
for arg in "$@"; do
    case "$arg" in
        --check) CHECK=1 ;;
        --rebuild) REBUILD=1 ;;
        -h|--help) sed -n '2,/^$/s/^# \{0,1\}//p' "$0"; exit 0 ;;
        ''|*[!0-9]*) echo "parse-bench.sh: bad argument '$arg' (SIZE_MB must be a whole number)" >&2; exit 2 ;;
        *) SIZE_MB=$arg ;;
    esac
done

ROUNDS=${ROUNDS:-5}
TARGET=${TARGET:-2}
SEED=${SEED:-1}

die() { echo "parse-bench.sh: $*" >&2; exit 2; }

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

PB=${PARSE_BENCH:-build/native/parse-bench}
GEN=bench/make_html.py
OUTDIR=build/bench
mkdir -p "$OUTDIR"

# --- build -----------------------------------------------------------------
if [[ -z "${PARSE_BENCH:-}" && ( $REBUILD -eq 1 || ! -x "$PB" ) ]]; then
    echo "== building parse-bench"
    if [[ ! -f CMakePresets.json ]]; then
        die "no CMakePresets.json; cannot configure the 'native' preset"
    fi
    cmake --preset native >/dev/null || die "cmake --preset native failed"
    cmake --build build/native --target parse-bench || die "build of parse-bench failed"
fi
[[ -x "$PB" ]] || die "$PB not found or not executable"

# --- corpus (cached; the name carries the generator's hash so edits to the
# generator give a fresh file instead of a stale one) ------------------------
GEN_HASH=$(sha1sum "$GEN" | cut -c1-8)
FILE="$OUTDIR/pages-${SIZE_MB}mb-s${SEED}-${GEN_HASH}.html"
if [[ ! -f "$FILE" ]]; then
    echo "== generating $FILE"
    python3 "$GEN" "$FILE" --size-mb "$SIZE_MB" --seed "$SEED" || die "generation failed"
fi
BYTES=$(stat -c %s "$FILE")
[[ $BYTES -gt 0 ]] || die "$FILE is empty"

# --- warm the page cache ------------------------------------------------------
cat "$FILE" >/dev/null
cat "$FILE" >/dev/null

GREP_RE='<[[:space:]]*a[[:space:]]+href[[:space:]]*=[[:space:]]*"[^"]*"'
GREP_OUT="$OUTDIR/grep-matches.txt"

now_ns() { date +%s%N; }

best_grep_ns=0
best_pb=0
grep_count=""
pb_last_output=""

echo "== $FILE: $BYTES bytes, $ROUNDS rounds"
for ((i = 1; i <= ROUNDS; i++)); do
    t0=$(now_ns)
    LC_ALL=C grep -oiE "$GREP_RE" "$FILE" >"$GREP_OUT" || die "grep failed or found nothing"
    t1=$(now_ns)
    ns=$((t1 - t0))
    n=$(wc -l <"$GREP_OUT")
    if [[ -z "$grep_count" ]]; then
        grep_count=$n
    elif [[ "$n" != "$grep_count" ]]; then
        die "grep match count changed between rounds ($grep_count vs $n)"
    fi
    if [[ $best_grep_ns -eq 0 || $ns -lt $best_grep_ns ]]; then best_grep_ns=$ns; fi

    out=$("$PB" "$FILE") || die "$PB exited with status $?"
    last=$(printf '%s\n' "$out" | tail -n 1)
    mbs=$(printf '%s\n' "$last" | sed -n 's/^scan:[[:space:]]*\([0-9][0-9.eE+-]*\)[[:space:]]*MB\/s[[:space:]]*$/\1/p')
    [[ -n "$mbs" ]] || die "cannot read MB/s from parse-bench's last line: '$last'"
    pb_last_output=$out
    best_pb=$(awk -v a="$best_pb" -v b="$mbs" 'BEGIN { print (b + 0 > a + 0) ? b : a }')

    awk -v r="$i" -v by="$BYTES" -v ns="$ns" -v pb="$mbs" \
        'BEGIN { printf "round %d: grep %8.1f MB/s   parse-bench %8.1f MB/s\n", r, by / (ns / 1e3), pb }'
done

rm -f "$GREP_OUT"
[[ $grep_count -gt 0 ]] || die "grep found no links; the corpus is broken"

echo "== parse-bench output (last round)"
printf '%s\n' "$pb_last_output" | sed 's/^/  /'

verdict=$(awk -v by="$BYTES" -v ns="$best_grep_ns" -v pb="$best_pb" -v t="$TARGET" -v n="$grep_count" '
BEGIN {
    g = by / (ns / 1e3)            # bytes per microsecond == MB/s (10^6)
    ratio = pb / g
    printf "grep matches:      %d (one-line double-quoted links only)\n", n
    printf "grep:              %.1f MB/s (best of rounds, %.3f s)\n", g, ns / 1e9
    printf "parse-bench:       %.1f MB/s (best of rounds)\n", pb
    printf "ratio pb/grep:     %.2f (target >= %s)\n", ratio, t
    print (ratio >= t) ? "PASS" : "FAIL"
}')
printf '%s\n' "$verdict"

if [[ $CHECK -eq 1 && "$(printf '%s\n' "$verdict" | tail -n 1)" != PASS ]]; then
    exit 1
fi
exit 0
