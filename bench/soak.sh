#!/usr/bin/env bash
# Soak: a large crawl stopped and continued many times from its saved
# project must end with the same files as one crawl that ran through.
#
# Usage: bench/soak.sh [--pages N] [--stops K]
#
#   --pages N   pages in the generated site (default 100000), served by nginx
#               on 127.0.0.1 (bench/lib/site-server.sh)
#   --stops K   how many times the second crawl is stopped (default 10)
#
# What runs, each in a scratch folder under build/bench:
#   1. veltrano -q -P soak URL, through to the end; its wall time sets the pace.
#   2. the same crawl in another folder, stopped K times by SIGINT, SIGTERM or
#      SIGHUP in turn, spaced over the crawl, each time continued from the
#      saved project (exit 3 expected at every stop), then run to the end.
# Then the page, result and extension files of the two must be equal byte for
# byte, and their settings equal but for the clock. Peak memory (GNU time's
# %M) of every run is reported.
#
# Exit status: 0 the files agree, 1 they differ, 2 something broke.

set -euo pipefail

PAGES=100000
STOPS=10
while [[ $# -gt 0 ]]; do
    case "$1" in
        --pages) PAGES=${2:?}; shift ;;
        --stops) STOPS=${2:?}; shift ;;
        -h|--help) sed -n '2,/^$/s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "soak.sh: bad argument '$1'" >&2; exit 2 ;;
    esac
    shift
done

# shellcheck source=bench/lib/site-server.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/site-server.sh"
bench_setup soak.sh

site_prepare "$PAGES"
nginx_start "$SITE"
SCRATCH=$(mktemp -d "$OUTDIR/soak.XXXXXX")

# run DIR [SIGNAL AFTER_SECONDS]: one run of the crawl in DIR; prints
# "<exit status> <wall seconds> <peak KiB>".
run() {
    local dir=$1 signal=${2:-} after=${3:-} pid rc=0
    (cd "$dir" && exec /usr/bin/time -f '%e %M' -o time.txt "$VELTRANO" -q -P soak "$URL" >/dev/null 2>>stderr.txt) &
    pid=$!
    if [[ -n "$signal" ]]; then
        sleep "$after"
        # GNU time passes the signal on to the crawler it runs.
        pkill "-$signal" -P "$pid" -f "$VELTRANO" 2>/dev/null || pkill "-$signal" -f "$VELTRANO -q -P soak" || true
    fi
    wait "$pid" || rc=$?
    echo "$rc $(tail -n 1 "$dir/time.txt")"
}

mkdir -p "$SCRATCH/whole" "$SCRATCH/stopped"
read -r rc wall peak < <(run "$SCRATCH/whole")
[[ $rc -eq 0 ]] || die "the whole crawl exited with $rc: $(tail -n 3 "$SCRATCH/whole/stderr.txt")"
printf 'whole crawl:   %8.2f s  peak %8d KiB\n' "$wall" "$peak"
peak_max=$peak

signals=(INT TERM HUP)
step=$(awk -v w="$wall" -v k="$STOPS" 'BEGIN { printf "%.2f", w / (k + 1) }')
stops=0
for ((i = 0; i < STOPS; i++)); do
    signal=${signals[i % 3]}
    read -r rc wall peak < <(run "$SCRATCH/stopped" "$signal" "$step")
    (( peak > peak_max )) && peak_max=$peak
    if [[ $rc -eq 0 ]]; then
        echo "stop $((i + 1)): the crawl ended before SIG$signal came"
        break
    fi
    [[ $rc -eq 3 ]] || die "stop $((i + 1)) by SIG$signal: exit $rc: $(tail -n 3 "$SCRATCH/stopped/stderr.txt")"
    stops=$((stops + 1))
    rows=$(tr -d '\r' <"$SCRATCH/stopped/Projects/soak_page.txt" | awk 'NR % 2 == 0 && $0 != ""' | wc -l)
    printf 'stop %2d (SIG%-4s): %8.2f s  peak %8d KiB  %7d rows done\n' "$stops" "$signal" "$wall" "$peak" "$rows"
done
if [[ $rc -ne 0 ]]; then
    read -r rc wall peak < <(run "$SCRATCH/stopped")
    (( peak > peak_max )) && peak_max=$peak
    [[ $rc -eq 0 ]] || die "the last continuation exited with $rc"
    printf 'last run:      %8.2f s  peak %8d KiB\n' "$wall" "$peak"
fi

same=1
for suffix in _page.txt _result.txt _extension.txt; do
    if cmp -s "$SCRATCH/whole/Projects/soak$suffix" "$SCRATCH/stopped/Projects/soak$suffix"; then
        echo "soak$suffix: equal ($(wc -c <"$SCRATCH/whole/Projects/soak$suffix") bytes)"
    else
        echo "soak$suffix: DIFFERENT"; same=0
    fi
done
settings() { tr -d '\r' <"$1" | grep -v '^TIMER_'; }
if [[ "$(settings "$SCRATCH/whole/Projects/soak.ini")" == "$(settings "$SCRATCH/stopped/Projects/soak.ini")" ]]; then
    echo "soak.ini: equal but for the clock"
else
    echo "soak.ini: DIFFERENT"; same=0
fi
echo "$stops stops; peak memory of any run: $peak_max KiB"
[[ $same -eq 1 ]] && { echo PASS; exit 0; }
echo FAIL
exit 1
