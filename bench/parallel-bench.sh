#!/usr/bin/env bash
# Several downloads at once against a site far away: veltrano -c 1 and -c 8
# against wget -r and wget2 -r --max-threads=8, on a generated site served on
# 127.0.0.1 by a server that answers every request after a fixed delay.
#
# Usage: bench/parallel-bench.sh [--check] [--pages N] [--delay S]
#
#   --pages N   pages in the site (default 1000)
#   --delay S   seconds before each answer (default 0.05)
#   --check     exit 1 when a target is missed
#
# Targets: veltrano -c 8 takes at most 1/6 of wget's time and no more than
# wget2's, and its project files equal those of -c 1 byte for byte.
# Exit status: 0 ok (or a target missed without --check), 1 a target missed
# with --check, 2 something broke.

set -euo pipefail

CHECK=0
PAGES=1000
DELAY=0.05
while [[ $# -gt 0 ]]; do
    case "$1" in
        --check) CHECK=1 ;;
        --pages) PAGES=${2:?}; shift ;;
        --delay) DELAY=${2:?}; shift ;;
        -h|--help) sed -n '2,/^$/s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "parallel-bench.sh: bad argument '$1'" >&2; exit 2 ;;
    esac
    shift
done

# shellcheck source=bench/lib/site-server.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/site-server.sh"
bench_setup parallel-bench.sh
for tool in wget wget2; do command -v "$tool" >/dev/null || die "$tool not installed (scripts/install-deps)"; done

site_prepare "$PAGES"
SCRATCH=$(mktemp -d "$OUTDIR/parallel.XXXXXX")
python3 bench/lib/delay_server.py "$SITE" "$DELAY" >"$SCRATCH/address" &
SERVER_PID=$!
for _ in $(seq 100); do [[ -s "$SCRATCH/address" ]] && break; sleep 0.1; done
URL=$(head -n 1 "$SCRATCH/address")
[[ -n "$URL" ]] || die "the delay server did not start"

# timed NAME COMMAND...: runs in a scratch folder of its own; prints "<wall s> <peak KiB>".
timed() {
    local name=$1 rc=0
    shift
    mkdir -p "$SCRATCH/$name"
    (cd "$SCRATCH/$name" && /usr/bin/time -f '%e %M' -o time.txt "$@" >out.txt 2>err.txt) || rc=$?
    [[ $rc -eq 0 ]] || die "$name exited with status $rc: $(tail -n 3 "$SCRATCH/$name/err.txt")"
    tail -n 1 "$SCRATCH/$name/time.txt"
}

echo "== $SITE: $((PAGES + 1)) pages, $DELAY s per answer, $URL"
read -r t_wget m_wget < <(timed wget wget -nv -r -l inf -R jpg --delete-after -P site "$URL")
read -r t_wget2 m_wget2 < <(timed wget2 wget2 -q -r -l 0 --max-threads=8 -R jpg --delete-after -P site "$URL")
read -r t_c1 m_c1 < <(timed c1 "$VELTRANO" -q -c 1 -P bench "$URL")
read -r t_c8 m_c8 < <(timed c8 "$VELTRANO" -q -c 8 -P bench "$URL")
for run in wget wget2 c1 c8; do
    read -r t m < "$SCRATCH/$run/time.txt"
    printf '%-9s %8.2f s   peak %7d KiB\n' "$run" "$t" "$m"
done

same=1
for suffix in _page.txt _result.txt .ini; do
    a=$SCRATCH/c1/Projects/bench$suffix
    b=$SCRATCH/c8/Projects/bench$suffix
    if [[ $suffix == .ini ]]; then
        cmp -s <(grep -v TIMER_ "$a") <(grep -v TIMER_ "$b") || same=0
    else
        cmp -s "$a" "$b" || same=0
    fi
done
pages=$(tr -d '\r' <"$SCRATCH/c8/Projects/bench_page.txt" | awk 'NR % 2 == 0 && $0 == "OK"' | wc -l)
echo "veltrano -c 8: $pages pages OK; project files $( ((same)) && echo "equal to -c 1's" || echo "DIFFERENT from -c 1's")"

verdict=$(awk -v c8="$t_c8" -v w="$t_wget" -v w2="$t_wget2" -v c1="$t_c1" -v same="$same" 'BEGIN {
    a = (c8 * 6 <= w); b = (c8 <= w2)
    printf "-c 8 / wget:  %.3f (target <= 0.167)  %s\n", c8 / w, a ? "PASS" : "FAIL"
    printf "-c 8 / wget2: %.3f (target <= 1)      %s\n", c8 / w2, b ? "PASS" : "FAIL"
    printf "-c 8 / -c 1:  %.3f (for reading)\n", c8 / c1
    printf "files of -c 8 and -c 1: %s\n", same ? "equal  PASS" : "DIFFERENT  FAIL"
    print (a && b && same) ? "PASS" : "FAIL"
}')
printf '%s\n' "$verdict"
[[ $CHECK -eq 1 && "$(printf '%s\n' "$verdict" | tail -n 1)" != PASS ]] && exit 1
exit 0
