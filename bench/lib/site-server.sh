# shellcheck shell=bash
# What the crawl benchmarks share (sourced, not run): their set-up, and a
# generated static site served by nginx on a free 127.0.0.1 port.
#
#   bench_setup NAME [--no-veltrano]  die(), ROOT (and cd there), OUTDIR,
#                                 VELTRANO (checked unless --no-veltrano),
#                                 SCRATCH and SERVER_PID (removed and killed
#                                 on exit, with nginx)
#   site_prepare PAGES            sets SITE (generated once, then kept)
#   nginx_start SITE [WORKERS]    serves the folder SITE (a generated site or any
#                                 other, with the usual types of pages, styles,
#                                 scripts and images); sets NGINX_PID, PORT and URL
#   nginx_stop                    stops it

bench_setup() {
    BENCH_NAME=$1
    ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    cd "$ROOT"
    VELTRANO=${VELTRANO:-$ROOT/build/native/veltrano}
    OUTDIR=$ROOT/build/bench
    mkdir -p "$OUTDIR"
    if [[ "${2:-}" != --no-veltrano ]]; then
        [[ -x "$VELTRANO" ]] || die "$VELTRANO not found (scripts/build native)"
    fi
    [[ -x /usr/bin/time ]] || die "GNU time not installed (apt-get install time)"
    SCRATCH=""
    SERVER_PID=""
    trap bench_cleanup EXIT
    trap 'exit 2' INT TERM
}

die() { echo "${BENCH_NAME:-bench}: $*" >&2; exit 2; }

bench_cleanup() {
    nginx_stop
    [[ -n "${SERVER_PID:-}" ]] && kill "$SERVER_PID" 2>/dev/null
    [[ -n "${SCRATCH:-}" ]] && rm -rf "$SCRATCH"
    return 0
}

site_prepare() {
    local pages=$1 generator=$ROOT/bench/make_site.py hash
    hash=$(sha1sum "$generator" | cut -c1-8)
    SITE=$OUTDIR/site-$pages-$hash
    if [[ ! -f "$SITE/.complete" ]]; then
        echo "== generating $SITE"
        rm -rf "$SITE"
        python3 "$generator" "$SITE" --pages "$pages" || die "site generation failed"
    fi
}

nginx_start() {
    local site=$1 workers=${2:-1} conf
    command -v nginx >/dev/null || die "nginx not installed (apt-get install nginx-light)"
    command -v curl >/dev/null || die "curl not installed"
    NGX=$OUTDIR/nginx-$(basename "$site")
    rm -rf "$NGX"
    mkdir -p "$NGX/logs" "$NGX/tmp"
    PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
    conf=$NGX/nginx.conf
    cat >"$conf" <<CONF
worker_processes $workers;
daemon off;
master_process on;
pid $NGX/nginx.pid;
error_log $NGX/logs/error.log warn;
events { worker_connections 1024; }
http {
    types {
        text/html html htm;
        text/css css;
        text/plain txt;
        application/javascript js;
        image/png png;
        image/gif gif;
        image/jpeg jpg jpeg;
        image/svg+xml svg;
        image/x-icon ico;
    }
    default_type application/octet-stream;
    access_log off;
    sendfile on;
    keepalive_requests 1000000;
    keepalive_timeout 65;
    client_body_temp_path $NGX/tmp/body;
    proxy_temp_path $NGX/tmp/proxy;
    fastcgi_temp_path $NGX/tmp/fastcgi;
    uwsgi_temp_path $NGX/tmp/uwsgi;
    scgi_temp_path $NGX/tmp/scgi;
    server {
        listen 127.0.0.1:$PORT;
        root $site;
        index index.html;
    }
}
CONF
    nginx -p "$NGX" -c "$conf" -e "$NGX/logs/error.log" &
    NGINX_PID=$!
    URL="http://127.0.0.1:$PORT/"
    for _ in $(seq 100); do
        if curl -sf -o /dev/null "$URL"; then break; fi
        kill -0 "$NGINX_PID" 2>/dev/null || die "nginx did not start: $(tail -n 5 "$NGX/logs/error.log")"
        sleep 0.1
    done
    curl -sf -o /dev/null "$URL" || die "nginx does not answer on $URL"
    # Warm the page cache, so that the first run is not the slowest.
    find "$site" -name '*.html' -print0 | xargs -0 cat >/dev/null
}

nginx_stop() {
    if [[ -n "${NGINX_PID:-}" ]] && kill -0 "$NGINX_PID" 2>/dev/null; then
        kill -QUIT "$NGINX_PID" 2>/dev/null || true
        for _ in $(seq 50); do kill -0 "$NGINX_PID" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$NGINX_PID" 2>/dev/null || true
    fi
    NGINX_PID=""
}
