#!/usr/bin/env python3
"""Generate a large, deterministic HTML corpus for the page-parser benchmark.

Usage: make_html.py OUT_FILE [--size-mb N] [--seed S]

The output is many complete pages of a documentation/news-like site glued
together: doctype, head with meta/link/script tags, nav bars, article text,
tables, lists, footers. Links come in the shapes real pages use, including
ones the scanner must catch (double and single quotes, odd spacing and line
breaks, upper case) and near misses it must skip (attributes before href,
<area>, <abbr>, <img src>, commented-out links, '<' inside inline scripts).
Text includes non-ASCII UTF-8.

Same size and seed -> byte-identical file. Speed: pages are assembled from
pools of pre-rendered fragments, so 200 MB takes a few seconds.
"""

import argparse
import os
import random
import sys

WORDS = (
    "the of and to in is for on with as by that this from at are be it an or "
    "server client request response header cache proxy mirror archive page "
    "site link anchor document index release version update download module "
    "network timeout retry queue thread worker buffer stream socket protocol "
    "report weather market election council budget city harbour railway "
    "museum festival library school research climate energy transport "
    "configuration option default value example section chapter table list "
    "install build compile test debug profile measure benchmark throughput "
    "latency bandwidth storage directory file path name query fragment host"
).split()

UTF8_WORDS = [
    "café", "naïve", "façade", "Zürich", "München", "São Paulo", "Kraków",
    "Ångström", "déjà vu", "résumé", "Øresund", "Dvořák", "Łódź", "İstanbul",
    "Москва", "Санкт-Петербург", "новости", "Αθήνα", "ειδήσεις",
    "東京", "大阪", "ニュース", "北京", "上海", "新闻", "서울", "뉴스",
    "القاهرة", "أخبار", "תל אביב", "हिन्दी", "समाचार", "€10", "£5", "¥300",
    "→", "—", "“quoted”", "‘single’", "…", "✓", "★", "🙂",
]

SECTIONS = ["news", "docs", "guide", "reference", "blog", "archive", "world",
            "sport", "science", "tech", "culture", "api", "faq", "downloads"]

HOSTS = ["example.org", "www.example.com", "cdn.example.net",
         "docs.example.org", "static.example.com", "news.example.co.uk",
         "mirror.example.de", "files.example.jp"]

EXTS = [".html", ".html", ".html", ".htm", "/", "", ".php", ".pdf", ".txt",
        ".zip", ".png"]

BLANKS = [" ", "  ", "\t", "\n", "\r\n", " \n  ", "\n\t"]


class Gen:
    def __init__(self, seed):
        self.r = random.Random(seed)

    # ---- small helpers --------------------------------------------------
    def words(self, n):
        r = self.r
        out = []
        for _ in range(n):
            if r.random() < 0.06:
                out.append(r.choice(UTF8_WORDS))
            else:
                out.append(r.choice(WORDS))
        return " ".join(out)

    def sentence(self):
        s = self.words(self.r.randint(6, 18))
        return s[:1].upper() + s[1:] + self.r.choice([".", ".", ".", "?", "!"])

    def url(self):
        r = self.r
        kind = r.random()
        depth = r.randint(0, 3)
        parts = [r.choice(SECTIONS)] + [
            r.choice(WORDS) + str(r.randint(0, 999)) for _ in range(depth)]
        path = "/".join(parts) + r.choice(EXTS)
        if kind < 0.35:
            u = path                                   # relative
        elif kind < 0.6:
            u = "/" + path                             # host-absolute
        elif kind < 0.9:
            u = "http://%s/%s" % (r.choice(HOSTS), path)
        elif kind < 0.95:
            u = "https://%s/%s" % (r.choice(HOSTS), path)
        else:
            u = "../" * r.randint(1, 3) + path
        if r.random() < 0.12:
            u += "?id=%d&amp;lang=%s" % (r.randint(1, 99999), r.choice(["en", "de", "ja"]))
        if r.random() < 0.08:
            u += "#sec-%d" % r.randint(1, 40)
        return u

    def blanks(self):
        return self.r.choice(BLANKS)

    def link(self):
        """An <a ...> element in one of the shapes seen on real pages."""
        r = self.r
        text = self.words(r.randint(1, 4))
        u = self.url()
        k = r.random()
        if k < 0.62:
            return '<a href="%s">%s</a>' % (u, text)
        if k < 0.72:
            return "<a href='%s'>%s</a>" % (u, text)
        if k < 0.78:
            # Extra blanks / line breaks between the pieces.
            return '<%sa%shref%s=%s"%s">%s</a>' % (
                r.choice(["", " ", "\n"]), self.blanks(), r.choice(["", " ", "\t"]),
                r.choice(["", " ", "\n "]), u, text)
        if k < 0.81:
            return "<a\n  href = '%s'>%s</a>" % (u, text)
        if k < 0.85:
            return '<%s %s="%s">%s</A>' % (
                r.choice(["A", "a", "A"]), r.choice(["HREF", "Href", "HREF"]), u, text)
        if k < 0.93:
            # Attribute before href: not matched by the scanner.
            return '<a class="%s" href="%s">%s</a>' % (
                r.choice(["ext", "nav-link", "btn btn-primary", "x"]), u, text)
        if k < 0.96:
            return '<a href="%s" title="%s" rel="nofollow">%s</a>' % (
                u, self.words(3), text)
        return '<a name="anchor-%d" id="a%d"></a>%s' % (
            r.randint(1, 500), r.randint(1, 500), text)

    # ---- fragment pools -------------------------------------------------
    def paragraph(self):
        r = self.r
        bits = []
        for _ in range(r.randint(2, 6)):
            s = self.sentence()
            if r.random() < 0.75:
                # Drop one or two inline links into the sentence.
                for _ in range(r.randint(1, 2)):
                    ws = s.split(" ")
                    i = r.randint(0, len(ws))
                    ws.insert(i, self.link())
                    s = " ".join(ws)
            if r.random() < 0.15:
                s += ' <abbr title="%s">%s</abbr>' % (self.words(3), r.choice(["HTTP", "URL", "HTML", "CSS", "UTC"]))
            if r.random() < 0.1:
                s += " <em>%s</em> <strong>%s</strong>" % (self.words(2), self.words(2))
            if r.random() < 0.05:
                s += " <code>a &lt; b &amp;&amp; c &gt; d</code>"
            bits.append(s)
        return "<p>%s</p>\n" % " ".join(bits)

    def table(self):
        r = self.r
        cols = r.randint(3, 6)
        rows = r.randint(3, 12)
        out = ['<table class="data">\n<thead><tr>']
        out += ["<th>%s</th>" % self.words(r.randint(1, 2)) for _ in range(cols)]
        out.append("</tr></thead>\n<tbody>\n")
        for _ in range(rows):
            out.append("<tr>")
            for c in range(cols):
                if c == 0 and r.random() < 0.6:
                    out.append("<td>%s</td>" % self.link())
                else:
                    out.append('<td align="right">%d.%02d</td>' % (r.randint(0, 9999), r.randint(0, 99))
                               if r.random() < 0.5 else "<td>%s</td>" % self.words(r.randint(1, 3)))
            out.append("</tr>\n")
        out.append("</tbody>\n</table>\n")
        return "".join(out)

    def ulist(self):
        r = self.r
        tag = r.choice(["ul", "ol", "ul"])
        items = "".join("  <li>%s %s</li>\n" % (self.link(), self.words(r.randint(0, 8)))
                        for _ in range(r.randint(3, 10)))
        return "<%s>\n%s</%s>\n" % (tag, items, tag)

    def figure(self):
        r = self.r
        img = '<img src="/img/%s%d.%s" alt="%s" width="%d" height="%d">' % (
            r.choice(WORDS), r.randint(1, 999), r.choice(["png", "jpg", "webp"]),
            self.words(3), r.randint(100, 1200), r.randint(80, 900))
        if r.random() < 0.3:
            return ('<figure>%s\n<map name="m%d"><area shape="rect" coords="0,0,50,50" '
                    'href="%s" alt="%s"><area shape="circle" coords="90,58,3" href="%s"></map>'
                    '<figcaption>%s</figcaption></figure>\n') % (
                img, r.randint(1, 99), self.url(), self.words(2), self.url(), self.sentence())
        return "<figure>%s<figcaption>%s</figcaption></figure>\n" % (img, self.sentence())

    def comment(self):
        r = self.r
        if r.random() < 0.5:
            return '<!-- old link: <a href="%s">%s</a> -->\n' % (self.url(), self.words(2))
        return "<!-- %s -->\n" % self.words(r.randint(3, 12))

    def script(self):
        r = self.r
        return (
            "<script>\n"
            "  for (var i = 0; i < %d; i++) { if (a[i] < b) b = a[i]; }\n"
            "  var html = '<a href=\"' + base + '/%s\">' + t + '</a>';\n"
            "  if (x<y && y <z) document.write(\"<p>%s</p>\");\n"
            "</script>\n") % (r.randint(2, 99), r.choice(SECTIONS), self.words(3))

    def nav(self):
        r = self.r
        items = "".join('<li><a href="/%s/">%s</a></li>' % (s, s.capitalize())
                        for s in r.sample(SECTIONS, r.randint(5, 10)))
        return '<nav class="top"><ul>%s</ul></nav>\n' % items

    def head(self, title):
        r = self.r
        metas = [
            '<meta charset="utf-8">',
            '<meta name="viewport" content="width=device-width, initial-scale=1">',
            '<meta name="description" content="%s">' % self.words(12),
            '<meta property="og:url" content="http://%s/%s">' % (r.choice(HOSTS), r.choice(SECTIONS)),
            '<link rel="stylesheet" href="/css/site.css?v=%d">' % r.randint(1, 99),
            '<link rel="icon" href="/favicon.ico">',
            '<link rel="canonical" href="%s">' % self.url(),
            '<script src="/js/app.%d.js" defer></script>' % r.randint(1000, 9999),
            "<script>window.dataLayer = window.dataLayer || []; if (n < 3) track('%s');</script>" % r.choice(SECTIONS),
            "<style>a:hover { color: #%06x } td > p { margin: 0 }</style>" % r.randint(0, 0xFFFFFF),
        ]
        return ("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<title>%s</title>\n%s\n</head>\n"
                % (title, "\n".join(metas)))

    def footer(self):
        r = self.r
        links = " | ".join(self.link() for _ in range(r.randint(4, 8)))
        return ('<footer><p>%s</p><p>&copy; 2024 Example — %s</p></footer>\n'
                % (links, r.choice(UTF8_WORDS)))

    def build_pools(self):
        self.pools = {
            "p": [self.paragraph() for _ in range(3000)],
            "table": [self.table() for _ in range(300)],
            "list": [self.ulist() for _ in range(600)],
            "figure": [self.figure() for _ in range(300)],
            "comment": [self.comment() for _ in range(300)],
            "script": [self.script() for _ in range(200)],
            "nav": [self.nav() for _ in range(200)],
            "head": [self.head(self.words(5)) for _ in range(400)],
            "title": [self.sentence() for _ in range(400)],
            "footer": [self.footer() for _ in range(200)],
        }

    # ---- whole pages ----------------------------------------------------
    def page(self, n):
        r = self.r
        P = self.pools
        out = [r.choice(P["head"]), '<body class="%s">\n' % r.choice(SECTIONS),
               r.choice(P["nav"]),
               '<div class="breadcrumb"><a href="/">Home</a> &gt; <a href="/%s/">%s</a> &gt; page %d</div>\n'
               % (r.choice(SECTIONS), r.choice(SECTIONS), n),
               "<main>\n<article>\n<h1>%s</h1>\n" % r.choice(P["title"])]
        kinds = ["p"] * 10 + ["table", "list", "list", "figure", "comment", "script"]
        for i in range(r.randint(20, 80)):
            if i % 12 == 11:
                out.append("<h2 id=\"s%d\">Section %d</h2>\n" % (i, i // 12 + 1))
            out.append(r.choice(P[r.choice(kinds)]))
        out.append("</article>\n</main>\n")
        out.append(r.choice(P["footer"]))
        out.append("</body>\n</html>\n")
        return "".join(out)


def main():
    ap = argparse.ArgumentParser(description="Generate a large HTML benchmark corpus.")
    ap.add_argument("out")
    ap.add_argument("--size-mb", type=float, default=200.0,
                    help="approximate output size in MB (10^6 bytes), default 200")
    ap.add_argument("--seed", type=int, default=1, help="random seed, default 1")
    a = ap.parse_args()

    target = int(a.size_mb * 1_000_000)
    g = Gen(a.seed)
    g.build_pools()

    tmp = a.out + ".tmp"
    written = 0
    n = 0
    with open(tmp, "wb") as f:
        batch = []
        batch_len = 0
        while written + batch_len < target:
            b = g.page(n).encode("utf-8")
            n += 1
            batch.append(b)
            batch_len += len(b)
            if batch_len >= 4_000_000:
                f.write(b"".join(batch))
                written += batch_len
                batch, batch_len = [], 0
        f.write(b"".join(batch))
        written += batch_len
    os.replace(tmp, a.out)
    print("%s: %d bytes, %d pages" % (a.out, written, n), file=sys.stderr)


if __name__ == "__main__":
    main()
