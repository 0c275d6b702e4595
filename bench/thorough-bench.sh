#!/usr/bin/env bash
# The thorough crawl (veltrano --thorough): what it reaches on two real
# documentation sites against GNU wget, how fast its tokenizer reads pages
# against the link scanner and gumbo, and what it costs in a whole crawl
# against the Links mode.
#
# Usage: bench/thorough-bench.sh [--check] [--only PART] [--pages N] [--size-mb N]
#
#   --only PART  coverage, tokenizer or crawl (repeatable; default all three).
#   --pages N    pages of the generated site of the crawl part (default 5000).
#   --size-mb N  size of the generated corpus of the tokenizer part (default
#                122; parse-bench.sh's default is 200).
#   --check      exit 1 when a target is missed. Without it the script exits
#                0 whatever the figures are; they are for reading.
#
# Environment:
#   VELTRANO     binary to measure (default build/native/veltrano).
#   VELTRANO_ARGS  more options for every veltrano run, such as "-c 1".
#   PARSE_BENCH, GUMBO_BENCH  binaries of the tokenizer part (default: built
#                in build/native, targets parse-bench and gumbo-bench).
#   ROUNDS       rounds of the tokenizer and crawl parts (default 5).
#   TIME_TARGET  thorough / Links wall time, at most (default 1.2).
#   EXT          image extensions of the coverage part (default png,gif,jpg,svg).
#   SEED         corpus generator seed (default 1).
#
# coverage: python3.11-doc and libstdc++-12-doc (installed with apt-get
#   when missing), each served from its folder by nginx on 127.0.0.1, from "/":
#     wget -nv -r -l inf -np -nH -e robots=off --delete-after URL
#     wget -nv -r -l inf -np -nH -e robots=off --delete-after -A EXT URL
#     veltrano -q --thorough -P site -e EXT -o results.txt URL
#     veltrano -q -P site -e EXT -o results.txt URL          (Links mode)
#   wget's HTML pages (its downloads that nginx serves as text/html) against
#   the thorough page rows; wget's image requests (-A) against the thorough
#   results; every difference with where the site uses the address
#   (bench/lib/url_compare.py). Target: no page or image that wget has and
#   thorough lacks while a page thorough read uses it. Files and the full
#   difference lists stay in build/bench/thorough-coverage-NAME.
# tokenizer: the corpus of bench/make_html.py, cut into its pages, read by
#   parse-bench (the link scanner, the whole file), parse-bench --tokenizer
#   (ReadHtmlLinks per page) and gumbo-bench (gumbo's parse, the same
#   addresses collected from the tree, per page), alternately; best MB/s of
#   each. Also a cross-check: both readers' address lists on every page of
#   the two documentation sites (when installed) must be equal.
# crawl: the generated site of crawl-bench.sh (only plain <a href> links, so
#   both modes reach the same pages: their page files must be equal),
#   crawled alternately by
#     veltrano -q -P bench -o results.txt URL
#     veltrano -q --thorough -P bench -o results.txt URL
#   best wall and CPU time of each. Target: thorough / Links wall time <= 1.2.
#
# Exit status: 0 ok (or target missed without --check), 1 target missed with
# --check, 2 something broke.

set -euo pipefail

CHECK=0
PAGES=5000
SIZE_MB=122
PARTS=""
while [[ $# -gt 0 ]]; do
    case "$1" in
        --check) CHECK=1 ;;
        --only)
            [[ $# -ge 2 ]] || { echo "thorough-bench.sh: --only needs a part" >&2; exit 2; }
            PARTS+=" $2"; shift ;;
        --only=*) PARTS+=" ${1#--only=}" ;;
        --pages)
            [[ $# -ge 2 ]] || { echo "thorough-bench.sh: --pages needs a number" >&2; exit 2; }
            PAGES=$2; shift ;;
        --pages=*) PAGES=${1#--pages=} ;;
        --size-mb)
            [[ $# -ge 2 ]] || { echo "thorough-bench.sh: --size-mb needs a number" >&2; exit 2; }
            SIZE_MB=$2; shift ;;
        --size-mb=*) SIZE_MB=${1#--size-mb=} ;;
        -h|--help) sed -n '2,/^$/s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "thorough-bench.sh: bad argument '$1'" >&2; exit 2 ;;
    esac
    shift
done
case "$PAGES" in ''|*[!0-9]*|0) echo "thorough-bench.sh: --pages must be a whole number, 1 or more" >&2; exit 2 ;; esac
case "$SIZE_MB" in ''|*[!0-9]*|0) echo "thorough-bench.sh: --size-mb must be a whole number, 1 or more" >&2; exit 2 ;; esac
PARTS=${PARTS:-coverage tokenizer crawl}
for part in $PARTS; do
    case "$part" in coverage|tokenizer|crawl) ;; *) echo "thorough-bench.sh: unknown part '$part'" >&2; exit 2 ;; esac
done
wanted() { [[ " $PARTS " == *" $1 "* ]]; }

ROUNDS=${ROUNDS:-5}
TIME_TARGET=${TIME_TARGET:-1.2}
EXT=${EXT:-png,gif,jpg,svg}
SEED=${SEED:-1}

# shellcheck source=bench/lib/site-server.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib/site-server.sh"
if wanted coverage || wanted crawl; then
    bench_setup thorough-bench.sh
    "$VELTRANO" --help | grep -q -- --thorough || die "$VELTRANO has no --thorough"
else
    bench_setup thorough-bench.sh --no-veltrano
fi
SCRATCH=$(mktemp -d "$OUTDIR/thorough-run.XXXXXX")

# Packages only this benchmark needs (CI does not), installed when missing.
need_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0
    [[ $(id -u) -eq 0 ]] || die "needs ${missing[*]} (apt-get install ${missing[*]}, as root)"
    echo "== installing ${missing[*]}"
    apt-get update -qq >/dev/null || die "apt-get update failed"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
        || die "apt-get install ${missing[*]} failed"
}

PY_DOC=/usr/share/doc/python3.11/html
# The folder of the libstdc++ manual's index.html, wherever the package puts it.
libstdcxx_doc() {
    dpkg -L libstdc++-12-doc | grep '/libstdc++/index\.html$' | awk '{ print length, $0 }' | sort -n | head -n 1 |
        cut -d' ' -f2- | xargs -r dirname
}

VERDICTS=()   # "PASS ..." or "FAIL ..." lines of the parts that have a target
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }
max() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 > a + 0) ? b : a }'; }

# --- coverage ------------------------------------------------------------------
coverage_site() {  # NAME ROOT
    local name=$1 root=$2 work=$OUTDIR/thorough-coverage-$1 rc dir verdict
    rm -rf "$work"
    mkdir -p "$work/thorough" "$work/links"
    nginx_start "$root"
    echo "== $name: $root on $URL"
    # wget exits 8 when the server answered an error: the sites have broken links.
    for kind in pages images; do
        dir=$SCRATCH/wget-$kind
        rm -rf "$dir"; mkdir -p "$dir"
        local accept=()
        [[ $kind == images ]] && accept=(-A "$EXT")
        rc=0
        (cd "$dir" && nice wget -nv -r -l inf -np -nH -e robots=off --delete-after "${accept[@]}" "$URL" \
            2>"$work/wget-$kind.log") || rc=$?
        [[ $rc -eq 0 || $rc -eq 8 ]] || die "wget ($kind) exited with status $rc: $(tail -n 3 "$work/wget-$kind.log")"
    done
    for mode in thorough links; do
        dir=$SCRATCH/$mode
        rm -rf "$dir"; mkdir -p "$dir"
        local flags=()
        [[ $mode == thorough ]] && flags=(--thorough)
        rc=0
        (cd "$dir" && nice "$VELTRANO" -q ${VELTRANO_ARGS:-} "${flags[@]}" -P site -e "$EXT" -o results.txt "$URL" \
            >stdout.txt 2>stderr.txt) || rc=$?
        [[ $rc -eq 0 ]] || die "veltrano ($mode) exited with status $rc: $(tail -n 3 "$dir/stderr.txt")"
        cp "$dir/Projects/site_page.txt" "$work/$mode/page.txt"
        cp "$dir/results.txt" "$work/$mode/results.txt"
        # What went to standard output must be the result list.
        cmp -s <(tr -d '\r' <"$dir/results.txt") "$dir/stdout.txt" \
            || die "veltrano ($mode): standard output differs from the -o file"
    done
    nginx_stop
    python3 "$ROOT/bench/lib/url_compare.py" --name "$name" --root "$root" --url "$URL" --work "$work" \
        --ext "$EXT" >"$work/report.txt" || die "url_compare.py failed on $name"
    sed '$d' "$work/report.txt"
    verdict=$(tail -n 1 "$work/report.txt")
    case "$verdict" in
        "verdict: PASS") VERDICTS+=("PASS coverage $name: nothing wget has is missing without a reason") ;;
        "verdict: FAIL"*) VERDICTS+=("FAIL coverage $name: ${verdict#verdict: FAIL }") ;;
        *) die "url_compare.py gave no verdict on $name" ;;
    esac
    echo "   (all differences: $work/differences.txt)"
}

if wanted coverage; then
    command -v wget >/dev/null || die "wget not installed"
    need_packages python3.11-doc libstdc++-12-doc
    [[ -f $PY_DOC/index.html ]] || die "$PY_DOC/index.html not found"
    STDCXX_DOC=$(libstdcxx_doc)
    [[ -n "$STDCXX_DOC" && -f $STDCXX_DOC/index.html ]] || die "libstdc++-12-doc's manual not found"
    coverage_site python "$PY_DOC"
    coverage_site libstdc++ "$STDCXX_DOC"
fi

# --- tokenizer -------------------------------------------------------------------
# The last line of a reader's output, "<label>: <MB/s> MB/s", and its counts.
read_figure() {  # OUTPUT LABEL
    printf '%s\n' "$1" | sed -n "s/^$2:[[:space:]]*\([0-9][0-9.eE+-]*\)[[:space:]]*MB\/s[[:space:]]*\$/\1/p" | tail -n 1
}
read_count() {  # OUTPUT LABEL
    printf '%s\n' "$1" | sed -n "s/^$2:[[:space:]]*\([0-9]*\)\$/\1/p" | tail -n 1
}

if wanted tokenizer; then
    PB=${PARSE_BENCH:-}
    GB=${GUMBO_BENCH:-}
    if [[ -z "$PB" || -z "$GB" ]]; then
        need_packages libgumbo-dev pkg-config
        echo "== building parse-bench and gumbo-bench"
        if [[ -f build/native/CMakeCache.txt ]]; then
            # Configured again, so that a gumbo installed since is found.
            cmake -S . -B build/native >/dev/null || die "cmake configure failed"
        else
            cmake --preset native >/dev/null || die "cmake --preset native failed"
        fi
        nice cmake --build build/native --target parse-bench gumbo-bench >/dev/null \
            || die "build of parse-bench and gumbo-bench failed"
        PB=${PB:-build/native/parse-bench}
        GB=${GB:-build/native/gumbo-bench}
    fi
    [[ -x "$PB" && -x "$GB" ]] || die "$PB or $GB not found"
    "$PB" --tokenizer /dev/null >/dev/null 2>&1 || die "$PB has no --tokenizer"

    GEN_HASH=$(sha1sum bench/make_html.py | cut -c1-8)
    FILE=$OUTDIR/pages-${SIZE_MB}mb-s${SEED}-${GEN_HASH}.html
    if [[ ! -f "$FILE" ]]; then
        echo "== generating $FILE"
        python3 bench/make_html.py "$FILE" --size-mb "$SIZE_MB" --seed "$SEED" || die "corpus generation failed"
    fi
    BYTES=$(stat -c %s "$FILE")
    cat "$FILE" >/dev/null

    echo "== tokenizer: $FILE ($BYTES bytes, --size-mb $SIZE_MB), $ROUNDS rounds"
    best_scan=""; best_tok=""; best_gumbo=""
    for ((i = 1; i <= ROUNDS; i++)); do
        out_scan=$(nice "$PB" "$FILE") || die "$PB exited with status $?"
        out_tok=$(nice "$PB" --tokenizer "$FILE") || die "$PB --tokenizer exited with status $?"
        out_gumbo=$(nice "$GB" "$FILE") || die "$GB exited with status $?"
        scan=$(read_figure "$out_scan" scan); tok=$(read_figure "$out_tok" tokenizer)
        gumbo=$(read_figure "$out_gumbo" gumbo)
        [[ -n "$scan" && -n "$tok" && -n "$gumbo" ]] || die "cannot read the MB/s figures"
        best_scan=$(max "$best_scan" "$scan"); best_tok=$(max "$best_tok" "$tok"); best_gumbo=$(max "$best_gumbo" "$gumbo")
        printf 'round %d: scanner %8.1f MB/s   tokenizer %8.1f MB/s   gumbo %8.1f MB/s\n' "$i" "$scan" "$tok" "$gumbo"
    done
    tok_pages=$(read_count "$out_tok" pages); gumbo_pages=$(read_count "$out_gumbo" pages)
    tok_links=$(read_count "$out_tok" "page links"); gumbo_links=$(read_count "$out_gumbo" "page links")
    tok_res=$(read_count "$out_tok" resources); gumbo_res=$(read_count "$out_gumbo" resources)
    awk -v s="$best_scan" -v t="$best_tok" -v g="$best_gumbo" 'BEGIN {
        printf "scanner   (link scanner, 2 pattern runs; bytes x 2 / time, as parse-bench.sh) %8.1f MB/s\n", s
        printf "scanner   (the same runs, bytes once / time: one page read)               %8.1f MB/s\n", s / 2
        printf "tokenizer (ReadHtmlLinks per page)                                        %8.1f MB/s\n", t
        printf "gumbo     (gumbo_parse + collect + free per page)                         %8.1f MB/s\n", g
        printf "tokenizer / scanner (one page read): %.2f   tokenizer / gumbo: %.2f\n", t / (s / 2), t / g
    }'
    printf 'pages %s / %s, page links %s / %s, resources %s / %s (tokenizer / gumbo)\n' \
        "$tok_pages" "$gumbo_pages" "$tok_links" "$gumbo_links" "$tok_res" "$gumbo_res"
    if [[ "$tok_pages/$tok_links/$tok_res" == "$gumbo_pages/$gumbo_links/$gumbo_res" ]]; then
        VERDICTS+=("PASS tokenizer: the same addresses as gumbo on the corpus")
    else
        VERDICTS+=("FAIL tokenizer: address counts differ from gumbo's on the corpus")
    fi

    # The same cross-check, address by address, on the documentation sites.
    # (xargs runs both in batches of the same files, so page numbers match.)
    COUNT_LINE='^(pages|page links|resources|tokenizer|gumbo): [0-9.]+( MB/s)?$'
    if [[ -f $PY_DOC/index.html ]] && STDCXX_DOC=$(libstdcxx_doc 2>/dev/null) && [[ -n "$STDCXX_DOC" ]]; then
        for doc in "$PY_DOC" "$STDCXX_DOC"; do
            find -L "$doc" -name '*.html' | sort >"$SCRATCH/doc-files.txt"
            xargs -n 500 -a "$SCRATCH/doc-files.txt" "$PB" --tokenizer --dump | grep -vE "$COUNT_LINE" >"$SCRATCH/dump-tok.txt"
            xargs -n 500 -a "$SCRATCH/doc-files.txt" "$GB" --dump | grep -vE "$COUNT_LINE" >"$SCRATCH/dump-gumbo.txt"
            differing=$(diff "$SCRATCH/dump-tok.txt" "$SCRATCH/dump-gumbo.txt" | grep -c '^[<>]' || true)
            printf 'cross-check on %s: %d pages, %d address lines, %d differ\n' "$doc" \
                "$(wc -l <"$SCRATCH/doc-files.txt")" "$(grep -vc '^#' "$SCRATCH/dump-tok.txt")" "$differing"
            if [[ $differing -eq 0 ]]; then
                VERDICTS+=("PASS tokenizer: the same addresses as gumbo on every page of $doc")
            else
                diff "$SCRATCH/dump-tok.txt" "$SCRATCH/dump-gumbo.txt" | head -n 20 | sed 's/^/  /'
                VERDICTS+=("FAIL tokenizer: $differing address lines differ from gumbo's on $doc")
            fi
        done
    fi
fi

# --- crawl -----------------------------------------------------------------------
run_crawl() {  # MODE -> "<wall seconds> <peak KiB> <cpu seconds> <OK pages>"
    local mode=$1 dir=$SCRATCH/crawl-$1 rc=0 flags=()
    [[ $mode == thorough ]] && flags=(--thorough)
    rm -rf "$dir"; mkdir -p "$dir"
    (cd "$dir" && /usr/bin/time -f '%e %M %U %S' -o "$dir/time.txt" \
        "$VELTRANO" -q ${VELTRANO_ARGS:-} "${flags[@]}" -P bench -o results.txt "$URL" >stdout.txt 2>stderr.txt) || rc=$?
    [[ $rc -eq 0 ]] || die "veltrano ($mode) exited with status $rc: $(tail -n 3 "$dir/stderr.txt")"
    local pages
    pages=$(tr -d '\r' <"$dir/Projects/bench_page.txt" | awk 'NR % 2 == 0 && $0 == "OK"' | wc -l)
    echo "$(tail -n 1 "$dir/time.txt" | awk '{ print $1, $2, $3 + $4 }') $pages"
}

if wanted crawl; then
    site_prepare "$PAGES"
    nginx_start "$SITE"
    EXPECTED_PAGES=$((PAGES + 1))
    echo "== crawl: $SITE, $EXPECTED_PAGES pages, nginx on $URL, $ROUNDS rounds"
    best_l=""; cpu_l=""; peak_l=0; best_t=""; cpu_t=""; peak_t=0
    for ((i = 1; i <= ROUNDS; i++)); do
        read -r tl ml cl pl < <(run_crawl links)
        [[ -n "${pl:-}" ]] || die "Links run failed"
        read -r tt mt ct pt < <(run_crawl thorough)
        [[ -n "${pt:-}" ]] || die "thorough run failed"
        [[ $pl -eq $EXPECTED_PAGES && $pt -eq $EXPECTED_PAGES ]] \
            || die "OK pages: Links $pl, thorough $pt, expected $EXPECTED_PAGES"
        if [[ $i -eq 1 ]]; then
            # The same rows, perhaps in another order: the Links mode takes a
            # page's double-quoted links before its single-quoted ones, the
            # thorough mode takes them as they come.
            rows() { tr -d '\r' <"$1" | paste - - | sort; }
            cmp -s <(rows "$SCRATCH/crawl-links/Projects/bench_page.txt") \
                <(rows "$SCRATCH/crawl-thorough/Projects/bench_page.txt") \
                || die "the two modes' page rows differ: they did not crawl the same pages"
            cmp -s "$SCRATCH/crawl-links/Projects/bench_page.txt" "$SCRATCH/crawl-thorough/Projects/bench_page.txt" \
                && order="in the same order" || order="in another order"
            cmp -s <(sort "$SCRATCH/crawl-links/results.txt") <(sort "$SCRATCH/crawl-thorough/results.txt") \
                && results="the same" || results="different"
            echo "page rows of both modes: the same $pl, all OK, $order; results: $results" \
                "($(wc -l <"$SCRATCH/crawl-links/results.txt") / $(wc -l <"$SCRATCH/crawl-thorough/results.txt") lines)"
        fi
        best_l=$(min "$best_l" "$tl"); cpu_l=$(min "$cpu_l" "$cl"); (( ml > peak_l )) && peak_l=$ml
        best_t=$(min "$best_t" "$tt"); cpu_t=$(min "$cpu_t" "$ct"); (( mt > peak_t )) && peak_t=$mt
        printf 'round %d: links %7.2f s (cpu %6.2f s) %7d KiB | thorough %7.2f s (cpu %6.2f s) %7d KiB\n' \
            "$i" "$tl" "$cl" "$ml" "$tt" "$ct" "$mt"
    done
    nginx_stop
    line=$(awk -v tl="$best_l" -v tt="$best_t" -v cl="$cpu_l" -v ct="$cpu_t" -v ml="$peak_l" -v mt="$peak_t" \
        -v p="$EXPECTED_PAGES" -v target="$TIME_TARGET" 'BEGIN {
        printf "links     best %7.2f s (cpu %6.2f s)   peak RSS %7d KiB   %6.1f us/page\n", tl, cl, ml, tl * 1e6 / p
        printf "thorough  best %7.2f s (cpu %6.2f s)   peak RSS %7d KiB   %6.1f us/page\n", tt, ct, mt, tt * 1e6 / p
        r = (tl > 0) ? tt / tl : 0
        printf "cpu    thorough/links: %.3f (for reading)\n", (cl > 0) ? ct / cl : 0
        printf "memory thorough/links: %.3f (for reading)\n", (ml > 0) ? mt / ml : 0
        printf "%s crawl: thorough/links wall time %.3f (target <= %s)\n", (r <= target + 0) ? "PASS" : "FAIL", r, target
    }')
    printf '%s\n' "$line" | sed '$d'
    VERDICTS+=("$(printf '%s\n' "$line" | tail -n 1)")
fi

# --- verdict ---------------------------------------------------------------------
echo "== verdict"
failed=0
for v in "${VERDICTS[@]}"; do
    echo "$v"
    [[ $v == FAIL* ]] && failed=1
done
if [[ $failed -eq 0 ]]; then echo PASS; else echo FAIL; fi
if [[ $CHECK -eq 1 && $failed -eq 1 ]]; then
    exit 1
fi
exit 0
