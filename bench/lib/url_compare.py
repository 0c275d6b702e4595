#!/usr/bin/env python3
"""Coverage of a thorough crawl against wget's on one site served from a folder.

Usage: url_compare.py --name NAME --root DIR --url URL --work DIR --ext png,gif,...

Reads from WORK (written by thorough-bench.sh):
  wget-pages.log     wget -nv -r ... (no -A): its downloads and errors
  wget-images.log    wget -nv -r ... -A EXT
  thorough/page.txt  veltrano --thorough -e EXT: the project page file
  thorough/results.txt                         its results (-o)
  links/page.txt     veltrano -e EXT (Links mode), the same two files
  links/results.txt

Prints a table and the differences, each with where the address is used on
the site (found by reading the site's HTML pages and style sheets from ROOT
with Python's html.parser, resolved against the page address or its <base>).
Writes every difference into WORK/differences.txt. The last line is
"verdict: PASS" or "verdict: FAIL <why>": FAIL when wget has a page or an
image that veltrano lacks although a page veltrano read links to it or uses
it in the markup veltrano reads.

Addresses are compared after: the fragment is dropped; scheme and host are
put in lower case and a default port is dropped; percent-encoding is brought
to one spelling (decoded to bytes, then encoded again, keeping the reserved
characters and the unreserved ones as they are); an empty path is "/". The
site's own scheme://host:port is dropped, so site addresses print as paths.
"""

import argparse
import collections
import html.parser
import os
import re
import sys
import urllib.parse

SAFE_PATH = "/:@!$&'()*+,;=-._~"
SAFE_QUERY = SAFE_PATH + "?"
PAGE_EXTENSIONS = {"htm", "html", "php", "aspx", "cgi", ""}
SHOW = 12  # differences printed per list; all go to differences.txt


class Normaliser:
    def __init__(self, site_url):
        parts = urllib.parse.urlsplit(site_url)
        self.site = (parts.scheme.lower(), parts.netloc.lower())

    def __call__(self, address):
        address = address.strip()
        try:
            parts = urllib.parse.urlsplit(address)
        except ValueError:
            return address
        scheme = parts.scheme.lower()
        netloc = parts.netloc.lower()
        if (scheme, netloc.rsplit(":", 1)[-1]) in (("http", "80"), ("https", "443")):
            netloc = netloc.rsplit(":", 1)[0]
        path = urllib.parse.quote(urllib.parse.unquote_to_bytes(parts.path), safe=SAFE_PATH) or "/"
        query = urllib.parse.quote(urllib.parse.unquote_to_bytes(parts.query), safe=SAFE_QUERY)
        tail = path + ("?" + query if query else "")
        if (scheme, netloc) == self.site:
            return tail
        return "%s://%s%s" % (scheme, netloc, tail)

    def local(self, normalised):
        return normalised.startswith("/")


def extension(path):
    path = path.split("?", 1)[0]
    last = path.rsplit("/", 1)[-1]
    return last.rsplit(".", 1)[-1].lower() if "." in last else ""


def is_html_type(path):
    """What nginx serves as text/html here: .html, .htm and folder indexes."""
    return extension(path) in ("html", "htm") or path.split("?", 1)[0].endswith("/")


def read_lines(path):
    with open(path, "rb") as f:
        return [line.decode("utf-8", "surrogateescape").rstrip("\r\n") for line in f]


def read_page_file(path):
    """Address line, then result line, per row."""
    lines = read_lines(path)
    return list(zip(lines[0::2], lines[1::2]))


def read_wget_log(path):
    """(downloaded addresses, {failed address: error}) from a -nv log."""
    ok, failed = [], {}
    lines = read_lines(path)
    for i, line in enumerate(lines):
        m = re.search(r" URL: ?(\S+) \[", line)
        if m:
            ok.append(m.group(1))
            continue
        m = re.match(r"\S+ \S+ ERROR (\d+.*)$", line)
        if m and i > 0 and lines[i - 1].endswith(":"):
            failed[lines[i - 1][:-1]] = "ERROR " + m.group(1).rstrip(".")
    return ok, failed


# --- where an address is used on the site ------------------------------------

NAV = {("a", "href"), ("area", "href"), ("frame", "src"), ("iframe", "src")}
URL_ATTRIBUTES = {"href", "src", "xlink:href", "poster", "background", "lowsrc", "data", "action", "longdesc",
                  "cite", "usemap", "codebase", "archive", "formaction", "ping", "manifest", "icon"}
CSS_URL = re.compile(r"""url\(\s*(?:"([^"]*)"|'([^']*)'|([^)\s]*))\s*\)|@import\s+(?:"([^"]*)"|'([^']*)')""", re.I)


def css_addresses(css):
    for m in CSS_URL.finditer(css):
        yield next(g for g in m.groups() if g is not None)


def srcset_addresses(value):
    for candidate in value.split(","):
        candidate = candidate.strip()
        if candidate:
            yield candidate.split()[0]


class References(html.parser.HTMLParser):
    """Every address-bearing attribute of one page, as (tag, attribute, rel, value)."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.found = []
        self.base = None
        self.in_style = False

    def handle_starttag(self, tag, attrs):
        values = {}
        for name, value in attrs:
            values.setdefault(name, value or "")
        if tag == "base" and self.base is None and "href" in values:
            self.base = values["href"]
            return
        rel = values.get("rel", "")
        for name, value in values.items():
            if name in URL_ATTRIBUTES:
                self.found.append((tag, name, rel, value))
            elif name in ("srcset", "imagesrcset"):
                for address in srcset_addresses(value):
                    self.found.append((tag, name, rel, address))
            elif name == "style":
                for address in css_addresses(value):
                    self.found.append((tag, "style url()", rel, address))
        if tag == "meta" and values.get("http-equiv", "").strip().lower() == "refresh":
            m = re.match(r"\s*[\d.]+\s*[;,]?\s*(?:url\s*=\s*)?['\"]?([^'\"]*)", values.get("content", ""), re.I)
            if m and m.group(1).strip():
                self.found.append((tag, "http-equiv=refresh", rel, m.group(1)))
        self.in_style = tag == "style"

    def handle_endtag(self, tag):
        self.in_style = False

    def handle_data(self, data):
        if self.in_style:
            for address in css_addresses(data):
                self.found.append(("style", "url()", "", address))


class Site:
    """The site's pages and style sheets on disk, and who uses which address."""

    def __init__(self, root, site_url, norm):
        self.root = root
        self.site_url = site_url
        self.norm = norm
        self.used = collections.defaultdict(list)  # address -> [(page, how)]
        self.read = set()

    def file_of(self, local):
        path = urllib.parse.unquote(local.split("?", 1)[0])
        full = os.path.join(self.root, path.lstrip("/"))
        if path.endswith("/"):
            full = os.path.join(full, "index.html")
        return full

    def exists(self, local):
        return os.path.isfile(self.file_of(local))

    def read_page(self, local):
        if local in self.read:
            return
        self.read.add(local)
        full = self.file_of(local)
        if not os.path.isfile(full):
            return
        with open(full, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        page_url = urllib.parse.urljoin(self.site_url, local)
        if extension(local) == "css":
            for address in css_addresses(text):
                self.add(page_url, local, address, "url() in the style sheet")
            return
        parser = References()
        try:
            parser.feed(text)
            parser.close()
        except Exception:  # html.parser gives up on some broken markup; keep what it saw
            pass
        base = urllib.parse.urljoin(page_url, parser.base) if parser.base else page_url
        for tag, name, rel, value in parser.found:
            how = "<%s %s>" % (tag, name) if not rel else "<%s rel=%s %s>" % (tag, rel, name)
            if (tag, name) in NAV or name == "http-equiv=refresh":
                how = "nav " + how
            self.add(base, local, value, how)

    def add(self, base, local, value, how):
        value = value.strip()
        if not value or value.startswith(("javascript:", "mailto:", "data:")):
            return
        self.used[self.norm(urllib.parse.urljoin(base, value))].append((local, how))

    def raw_mentions(self, local, pages):
        """Pages whose text names the address's file outside the markup html.parser saw."""
        name = urllib.parse.unquote(local.split("?", 1)[0].rstrip("/").rsplit("/", 1)[-1])
        if not name:
            return []
        hits = []
        for page in sorted(pages):
            full = self.file_of(page)
            if not os.path.isfile(full):
                continue
            with open(full, "rb") as f:
                text = f.read().decode("utf-8", "replace")
            at = text.find(name)
            if at >= 0:
                hits.append((page, " ".join(text[max(0, at - 60):at + len(name) + 20].split())))
                if len(hits) >= 2:
                    break
        return hits


def explain(site, address, readers, reader_name):
    """(fault?, text): how the site uses `address`, judged against the pages `readers` read."""
    uses = site.used.get(address, [])
    nav_read = [(p, h) for p, h in uses if h.startswith("nav ") and p in readers]
    if nav_read:
        p, h = nav_read[0]
        return True, "%s on %s, which %s read" % (h[4:], p, reader_name)
    if uses:
        p, h = uses[0]
        more = " (and %d more)" % (len(uses) - 1) if len(uses) > 1 else ""
        return False, "%s on %s%s" % (h.replace("nav ", ""), p, more)
    return False, "not used in any page's markup or style sheet"


def explain_image(site, address, readers, reader_name):
    uses = site.used.get(address, [])
    html_uses = [(p, h) for p, h in uses if p in readers and not h.startswith("url() in the style sheet")]
    if html_uses:
        p, h = html_uses[0]
        return True, "%s on %s, which %s read" % (h.replace("nav ", ""), p, reader_name)
    if uses:
        p, h = uses[0]
        more = " (and %d more)" % (len(uses) - 1) if len(uses) > 1 else ""
        return False, "%s on %s%s" % (h.replace("nav ", ""), p, more)
    return False, "not used in any page's markup or style sheet"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--name", required=True)
    ap.add_argument("--root", required=True)
    ap.add_argument("--url", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--ext", required=True)
    a = ap.parse_args()
    norm = Normaliser(a.url)
    exts = set(a.ext.lower().split(","))
    w = lambda name: os.path.join(a.work, name)  # noqa: E731
    out_lines = []

    def say(text=""):
        print(text)
        out_lines.append(text)

    # wget
    wp_ok, wp_failed = read_wget_log(w("wget-pages.log"))
    wi_ok, wi_failed = read_wget_log(w("wget-images.log"))
    wget_pages = {norm(u) for u in wp_ok if is_html_type(norm(u))}
    wget_page_errors = {norm(u): e for u, e in wp_failed.items() if extension(norm(u)) in PAGE_EXTENSIONS}
    wget_other = [u for u in wp_ok if not is_html_type(norm(u))]
    wget_images = {norm(u) for u in wi_ok if extension(norm(u)) in exts}
    wget_image_errors = {norm(u): e for u, e in wi_failed.items() if extension(norm(u)) in exts}
    wget_image_pages = {norm(u) for u in wi_ok if is_html_type(norm(u))}

    # veltrano
    def load(mode):
        rows = read_page_file(w(mode + "/page.txt"))
        results = [r for r in read_lines(w(mode + "/results.txt")) if r]
        status = {}
        for address, result in rows:
            status.setdefault(norm(address), result)
        return rows, status, results

    t_rows, t_status, t_results = load("thorough")
    l_rows, l_status, l_results = load("links")
    t_ok = {u for u, s in t_status.items() if s == "OK"}
    t_failed = {u: s for u, s in t_status.items() if s != "OK"}
    l_ok = {u for u, s in l_status.items() if s == "OK"}
    t_images_all = {norm(r) for r in t_results}
    t_images = {u for u in t_images_all if norm.local(u)}
    l_images = {norm(r) for r in l_results if norm.local(norm(r))}

    # what the site uses where, from every page and style sheet either side fetched
    site = Site(a.root, a.url, norm)
    for local in sorted(wget_pages | t_ok | l_ok | {norm(u) for u in wget_other if extension(u) == "css"}):
        if norm.local(local):
            site.read_page(local)

    say("== %s: coverage (%s)" % (a.name, a.url))
    say("%-44s %9s %9s" % ("", "rows", "distinct"))
    say("%-44s %9s %9d" % ("wget: HTML pages downloaded", "", len(wget_pages)))
    say("%-44s %9s %9d" % ("wget: page addresses that failed", "", len(wget_page_errors)))
    say("%-44s %9d %9d" % ("thorough: page rows (all)", len(t_rows), len(t_status)))
    say("%-44s %9s %9d" % ("thorough: page rows OK", "", len(t_ok)))
    say("%-44s %9d %9d" % ("links: page rows (all, fragments kept)", len(l_rows), len(l_status)))
    say("%-44s %9s %9d" % ("links: page rows OK, without fragments", "", len(l_ok)))
    say("%-44s %9s %9d" % ("wget -A %s: images asked for" % a.ext, "", len(wget_images) + len(wget_image_errors)))
    say("%-44s %9s %9d" % ("  of which downloaded", "", len(wget_images)))
    say("%-44s %9d %9d" % ("thorough -e %s: results" % a.ext, len(t_results), len(t_images_all)))
    say("%-44s %9s %9d" % ("  of which on this site", "", len(t_images)))
    say("%-44s %9s %9d" % ("  of which exist on the server", "", sum(site.exists(u) for u in t_images)))
    say("%-44s %9d %9d" % ("links -e %s: results on this site" % a.ext, len(l_results), len(l_images)))

    faults = []
    details = []

    def listing(title, items, explainer, fault_counts):
        say("%s: %d" % (title, len(items)))
        details.append("%s: %d" % (title, len(items)))
        kinds = collections.Counter()
        for i, address in enumerate(sorted(items)):
            fault, text = explainer(address)
            kinds[re.sub(r" on .*", "", text)] += 1
            line = "  %s%s  <- %s" % ("FAULT? " if fault and fault_counts else "", address, text)
            details.append(line)
            if i < SHOW:
                say(line)
            if fault and fault_counts:
                faults.append(address)
        if len(items) > SHOW:
            say("  ... (%d more in differences.txt)" % (len(items) - SHOW))
        for kind, n in kinds.most_common():
            say("    %5d  %s" % (n, kind))

    all_t = set(t_status)
    listing("pages wget downloaded that thorough lacks", wget_pages - all_t,
            lambda u: explain(site, u, t_ok, "thorough"), True)
    listing("pages wget downloaded that thorough has, not OK", {u for u in wget_pages if u in t_failed},
            lambda u: (True, "thorough: %s" % t_failed[u]), True)
    listing("pages thorough read (OK) that wget did not download", t_ok - wget_pages,
            lambda u: explain(site, u, wget_pages, "wget"), False)
    listing("page rows that failed in thorough, not asked for by wget", set(t_failed) - set(wget_page_errors),
            lambda u: explain(site, u, t_ok, "thorough"), False)
    same_failures = set(t_failed) & set(wget_page_errors)
    say("page rows that failed in both: %d (%s)" % (
        len(same_failures), ", ".join("%s %d" % kv for kv in collections.Counter(
            "thorough %s / wget %s" % (t_failed[u], wget_page_errors[u]) for u in same_failures).items()) or "-"))
    listing("images wget asked for that thorough lacks", (wget_images | set(wget_image_errors)) - t_images,
            lambda u: explain_image(site, u, t_ok, "thorough"), True)
    listing("images thorough found that wget did not ask for", t_images - wget_images - set(wget_image_errors),
            lambda u: explain_image(site, u, wget_image_pages, "wget"), False)
    failed_both = t_images & set(wget_image_errors)
    say("images both found that the server does not have: %d (wget: %s)" % (
        len(failed_both), ", ".join(sorted(set(wget_image_errors[u] for u in failed_both))) or "-"))
    say("links mode reaches %d of wget's %d pages (%.1f%%) and %d of its %d images" % (
        len(wget_pages & l_ok), len(wget_pages), 100.0 * len(wget_pages & l_ok) / max(1, len(wget_pages)),
        len(l_images & wget_images), len(wget_images)))

    with open(w("differences.txt"), "w", encoding="utf-8", errors="surrogateescape") as f:
        f.write("\n".join(details) + "\n")
    if faults:
        print("verdict: FAIL %d addresses wget has and thorough lacks although a page it read uses them"
              % len(faults))
    else:
        print("verdict: PASS")


if __name__ == "__main__":
    sys.exit(main())
