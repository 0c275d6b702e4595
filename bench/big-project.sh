#!/usr/bin/env bash
# A project of millions of rows continued: its page file loaded, its one page
# left fetched, and the project saved again, against veltrano's peak memory.
#
# Usage: bench/big-project.sh [--rows N]
#
#   --rows N   rows in the page file (default 5000000), all done but the last,
#              whose page nginx serves on 127.0.0.1 (bench/lib/site-server.sh)
#
# The run must leave the page file 2 bytes longer, its last row "OK"; the
# target is a peak RSS (GNU time's %M) of at most MEM_FACTOR (default 5)
# times the page file plus 64 MiB.
#
# Exit status: 0 within the target, 1 over it or a wrong page file, 2 something broke.

set -euo pipefail

ROWS=5000000
MEM_FACTOR=${MEM_FACTOR:-5}
while [[ $# -gt 0 ]]; do
    case "$1" in
        --rows) ROWS=${2:?}; shift ;;
        -h|--help) sed -n '2,/^$/s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "big-project.sh: bad argument '$1'" >&2; exit 2 ;;
    esac
    shift
done

# shellcheck source=bench/lib/site-server.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/site-server.sh"
bench_setup big-project.sh
SCRATCH=$(mktemp -d "$OUTDIR/big-project.XXXXXX")
chmod 755 "$SCRATCH"  # for nginx's workers
last=p$((ROWS - 1)).html
mkdir -p "$SCRATCH/big-site" "$SCRATCH/run/Projects"
echo '<p>leaf</p>' >"$SCRATCH/big-site/$last"
: >"$SCRATCH/big-site/index.html"  # for nginx_start's check that it answers
nginx_start "$SCRATCH/big-site"

cd "$SCRATCH/run/Projects"
awk -v url="$URL" -v rows="$ROWS" 'BEGIN {
    for (i = 0; i < rows - 1; i++) printf "%sp%d.html\r\nOK\r\n", url, i
    printf "%sp%d.html\r\n\r\n", url, rows - 1
}' >big_page.txt
printf '[ MAIN ]\r\nGRAB_TYPE = 0\r\n' >big.ini
: >big_result.txt
: >big_extension.txt
size=$(stat -c %s big_page.txt)
cd ..

rc=0
/usr/bin/time -f '%e %M' -o time.txt "$VELTRANO" -q -P big >/dev/null 2>stderr.txt || rc=$?
[[ $rc -eq 0 ]] || die "exit $rc: $(tail -n 3 stderr.txt)"
read -r wall peak <time.txt
ok=1
if [[ $(stat -c %s Projects/big_page.txt) -eq $((size + 2)) ]] &&
    tail -c 64 Projects/big_page.txt | tr -d '\r' | tail -n 2 | diff -q - <(printf '%s%s\nOK\n' "$URL" "$last") >/dev/null; then
    echo "page file: $size bytes, the last row now OK"
else
    echo "page file: WRONG (the last row is not OK, or other rows changed size)"; ok=0
fi
limit=$((MEM_FACTOR * size / 1024 + 65536))
printf '%d rows: %.2f s, peak %d KiB (target <= %d KiB)\n' "$ROWS" "$wall" "$peak" "$limit"
((peak <= limit)) || ok=0
[[ $ok -eq 1 ]] && { echo PASS; exit 0; }
echo FAIL
exit 1
