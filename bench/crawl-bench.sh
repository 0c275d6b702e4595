#!/usr/bin/env bash
# Whole-site crawl: veltrano versus GNU wget on the same local nginx site.
#
# Usage: bench/crawl-bench.sh [--check] [--pages N] [--wget-only]
#
#   --pages N    pages in the generated site (default 5000); the site is
#                generated once into build/bench/site-N and kept.
#   --check      exit 1 when a target is missed. Without it the script exits
#                0 whatever the figures are; they are for reading.
#   --wget-only  time wget alone (no veltrano binary needed).
#
# Environment:
#   VELTRANO     binary to measure (default build/native/veltrano).
#   VELTRANO_ARGS  more options for it, such as "-c 1" (default none: -c 4).
#   ROUNDS       rounds per tool, alternating (default 3).
#   TIME_TARGET  required ratio veltrano / wget wall time, at most (default 0.667).
#   MEM_TARGET   required ratio veltrano / wget peak RSS, at most (default 2).
#   NGINX_WORKERS  nginx worker_processes (default 1).
#
# What runs, each in a fresh scratch folder under build/bench:
#   veltrano -q -P bench -o results.txt http://127.0.0.1:PORT/
#   wget -nv -r -l inf -R jpg --delete-after -P DIR http://127.0.0.1:PORT/
# Both start at "/" (nginx serves index.html there). veltrano needs the
# address to end at the host: its site key is the address after "http://",
# and only links containing that key are crawled.
#
# Timing: GNU time's wall seconds (%e), peak RSS (%M, KiB) and CPU seconds
# (%U + %S) around each run. Best (lowest) wall time, best CPU time and highest
# peak RSS over the rounds are reported. The targets are on wall time; CPU
# time is shown because it suffers less when other jobs share the machine.
# Pages: veltrano's "OK" rows in Projects/bench_page.txt; wget's downloaded
# HTML files (its -nv "URL:" lines, minus any .jpg). The two must agree to
# within 1% or the run counts as broken.
#
# nginx runs from a config written into build/bench/nginx-N (listen on a
# free 127.0.0.1 port, access_log off, its own pid/error log/temp folders);
# no system configuration is read or touched. It is stopped on exit.
#
# Exit status: 0 ok (or target missed without --check), 1 target missed with
# --check, 2 something broke.

set -euo pipefail

CHECK=0
PAGES=5000
WGET_ONLY=0
while [[ $# -gt 0 ]]; do
    case "$1" in
        --check) CHECK=1 ;;
        --wget-only) WGET_ONLY=1 ;;
        --pages)
            [[ $# -ge 2 ]] || { echo "crawl-bench.sh: --pages needs a number" >&2; exit 2; }
            PAGES=$2; shift ;;
        --pages=*) PAGES=${1#--pages=} ;;
        -h|--help) sed -n '2,/^$/s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "crawl-bench.sh: bad argument '$1'" >&2; exit 2 ;;
    esac
    shift
done
case "$PAGES" in ''|*[!0-9]*|0) echo "crawl-bench.sh: --pages must be a whole number, 1 or more" >&2; exit 2 ;; esac

ROUNDS=${ROUNDS:-3}
TIME_TARGET=${TIME_TARGET:-0.667}
MEM_TARGET=${MEM_TARGET:-2}
NGINX_WORKERS=${NGINX_WORKERS:-1}

# shellcheck source=bench/lib/site-server.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/site-server.sh"
if [[ $WGET_ONLY -eq 1 ]]; then bench_setup crawl-bench.sh --no-veltrano; else bench_setup crawl-bench.sh; fi
command -v wget >/dev/null || die "wget not installed"

site_prepare "$PAGES"
nginx_start "$SITE" "$NGINX_WORKERS"
EXPECTED_PAGES=$((PAGES + 1))   # the pages and the index

SCRATCH=$(mktemp -d "$OUTDIR/crawl-run.XXXXXX")

# Each run prints "<wall seconds> <peak KiB> <cpu seconds> <pages>".
run_veltrano() {
    local dir=$SCRATCH/v
    rm -rf "$dir"; mkdir -p "$dir"
    local rc=0
    (cd "$dir" && /usr/bin/time -f '%e %M %U %S' -o "$dir/time.txt" \
        "$VELTRANO" -q ${VELTRANO_ARGS:-} -P bench -o results.txt "$URL" >stdout.txt 2>stderr.txt) || rc=$?
    [[ $rc -eq 0 ]] || die "veltrano exited with status $rc: $(tail -n 3 "$dir/stderr.txt")"
    local pages
    pages=$(tr -d '\r' <"$dir/Projects/bench_page.txt" | awk 'NR % 2 == 0 && $0 == "OK"' | wc -l)
    echo "$(tail -n 1 "$dir/time.txt" | awk '{ print $1, $2, $3 + $4 }') $pages"
}

run_wget() {
    local dir=$SCRATCH/w
    rm -rf "$dir"; mkdir -p "$dir"
    local rc=0
    /usr/bin/time -f '%e %M %U %S' -o "$SCRATCH/wtime.txt" \
        wget -nv -r -l inf -R jpg --delete-after -P "$dir" "$URL" 2>"$SCRATCH/wget.log" || rc=$?
    # 8 is "server issued an error response": the missing images are not
    # asked for (-R jpg), so any error is a real problem.
    [[ $rc -eq 0 ]] || die "wget exited with status $rc: $(tail -n 3 "$SCRATCH/wget.log")"
    local pages
    pages=$(grep ' URL:' "$SCRATCH/wget.log" | grep -vc '\.jpg' || true)
    echo "$(tail -n 1 "$SCRATCH/wtime.txt" | awk '{ print $1, $2, $3 + $4 }') $pages"
}

best_v=""; cpu_v=""; peak_v=0; pages_v=""
best_w=""; cpu_w=""; peak_w=0; pages_w=""
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }

echo "== $SITE: $EXPECTED_PAGES pages, nginx on $URL, $ROUNDS rounds"
for ((i = 1; i <= ROUNDS; i++)); do
    read -r t m c p < <(run_wget)
    [[ -n "${p:-}" ]] || die "wget run failed"
    best_w=$(min "$best_w" "$t"); cpu_w=$(min "$cpu_w" "$c"); (( m > peak_w )) && peak_w=$m
    [[ -z "$pages_w" || "$pages_w" == "$p" ]] || die "wget page count changed between rounds ($pages_w vs $p)"
    pages_w=$p
    line=$(printf 'round %d: wget %7.2f s (cpu %6.2f s) %7d KiB %6d pages' "$i" "$t" "$c" "$m" "$p")
    if [[ $WGET_ONLY -eq 0 ]]; then
        read -r t m c p < <(run_veltrano)
        [[ -n "${p:-}" ]] || die "veltrano run failed"
        best_v=$(min "$best_v" "$t"); cpu_v=$(min "$cpu_v" "$c"); (( m > peak_v )) && peak_v=$m
        [[ -z "$pages_v" || "$pages_v" == "$p" ]] || die "veltrano page count changed between rounds ($pages_v vs $p)"
        pages_v=$p
        line+=$(printf ' | veltrano %7.2f s (cpu %6.2f s) %7d KiB %6d pages' "$t" "$c" "$m" "$p")
    fi
    echo "$line"
done

summary() {  # name seconds cpu-seconds kib pages
    awk -v n="$1" -v t="$2" -v c="$3" -v m="$4" -v p="$5" 'BEGIN {
        printf "%-9s best %8.2f s (cpu %7.2f s)   peak RSS %8d KiB   pages %7d   %7.1f us/page (cpu %6.1f us/page)\n",
            n, t, c, m, p, (p > 0 ? t * 1e6 / p : 0), (p > 0 ? c * 1e6 / p : 0)
    }'
}
summary wget "$best_w" "$cpu_w" "$peak_w" "$pages_w"
[[ $pages_w -ge $((EXPECTED_PAGES * 99 / 100)) ]] || die "wget fetched $pages_w pages, expected about $EXPECTED_PAGES"
if [[ $WGET_ONLY -eq 1 ]]; then
    exit 0
fi
summary veltrano "$best_v" "$cpu_v" "$peak_v" "$pages_v"
[[ $pages_v -ge $((EXPECTED_PAGES * 99 / 100)) ]] || die "veltrano processed $pages_v OK pages, expected about $EXPECTED_PAGES"

verdict=$(awk -v tv="$best_v" -v tw="$best_w" -v cv="$cpu_v" -v cw="$cpu_w" -v mv="$peak_v" -v mw="$peak_w" -v tt="$TIME_TARGET" -v mt="$MEM_TARGET" 'BEGIN {
    tr = (tw > 0) ? tv / tw : 0
    mr = (mw > 0) ? mv / mw : 0
    tp = (tr <= tt + 0); mp = (mr <= mt + 0)
    printf "time   veltrano/wget: %.3f (target <= %s)  %s\n", tr, tt, tp ? "PASS" : "FAIL"
    printf "cpu    veltrano/wget: %.3f (for reading)\n", (cw > 0) ? cv / cw : 0
    printf "memory veltrano/wget: %.3f (target <= %s)  %s\n", mr, mt, mp ? "PASS" : "FAIL"
    print (tp && mp) ? "PASS" : "FAIL"
}')
printf '%s\n' "$verdict"

if [[ $CHECK -eq 1 && "$(printf '%s\n' "$verdict" | tail -n 1)" != PASS ]]; then
    exit 1
fi
exit 0
