# shellcheck shell=bash
# A generated static site served by nginx on a free 127.0.0.1 port, for the
# crawl benchmarks (sourced, not run). Needs ROOT (the checkout), OUTDIR
# (a folder under build/) and a die function.
#
#   site_prepare PAGES            sets SITE (generated once, then kept)
#   nginx_start SITE [WORKERS]    sets NGINX_PID, PORT and URL
#   nginx_stop                    stops it; call it on exit

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
    types { text/html html; image/jpeg jpg; }
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
