#!/usr/bin/env python3
"""Generates a static web site for the crawl benchmark.

    bench/make_site.py OUT_DIR --pages N [--per-folder 50] [--seed S]

Writes OUT_DIR/index.html and N pages, OUT_DIR/dNNNN/pNNNNNN.html, 50 to a
folder by default. Each page carries about 20 links:

  - the next page in numbering order (so every page is reachable from the
    index even without the random links),
  - 8 relative links into its own folder,
  - 5 relative links into other folders ("../dNNNN/pNNNNNN.html"),
  - 4 links with an absolute path ("/dNNNN/pNNNNNN.html"),
  - 2 image links (".jpg"), every other one of which exists.

The index links the first page of every folder. No page links /index.html,
so a crawl that starts at "/" sees N + 1 distinct pages, and so does a
crawler that starts at "/index.html".

Same N, per-folder count and seed give the same files byte for byte. A file
OUT_DIR/.complete holding the page count is written last; the benchmark
script uses it to tell a finished site from an interrupted generation.
"""

import argparse
import os
import random
import sys

WORDS = (
    "crawler page folder index link archive notes release report summary table "
    "figure chapter section appendix review draft update changes guide manual "
    "topic question answer result sample value network server client request"
).split()


def folder_of(i, per_folder):
    return "d%04d" % (i // per_folder)


def page_name(i):
    return "p%06d.html" % i


def paragraph(rng, words):
    return " ".join(rng.choice(WORDS) for _ in range(words)).capitalize() + "."


def make_page(i, n, per_folder, rng):
    folder = folder_of(i, per_folder)
    first = (i // per_folder) * per_folder
    last = min(first + per_folder, n) - 1
    links = []

    nxt = (i + 1) % n
    if folder_of(nxt, per_folder) == folder:
        links.append(page_name(nxt))
    else:
        links.append("../%s/%s" % (folder_of(nxt, per_folder), page_name(nxt)))
    for _ in range(8):
        links.append(page_name(rng.randint(first, last)))
    for _ in range(5):
        j = rng.randrange(n)
        links.append("../%s/%s" % (folder_of(j, per_folder), page_name(j)))
    for _ in range(4):
        j = rng.randrange(n)
        links.append("/%s/%s" % (folder_of(j, per_folder), page_name(j)))
    for k in range(2):
        # img-0 exists in every folder, img-1 never does.
        links.append("img-%d-%d.jpg" % (k, i % 7) if k == 0 else "img-%d-%d.jpg" % (k, i))

    out = [
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">",
        "<title>Page %d</title></head><body>" % i,
        "<h1>Page %d of %d</h1>" % (i, n),
    ]
    for k, href in enumerate(links):
        if k % 4 == 0:
            out.append("<p>%s</p>" % paragraph(rng, 12))
        if k % 5 == 3:
            out.append("<a href='%s'>link %d</a>" % (href, k))
        else:
            out.append("<a href=\"%s\">link %d</a>" % (href, k))
    out.append("</body></html>\n")
    return "\n".join(out)


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("out_dir")
    ap.add_argument("--pages", type=int, required=True)
    ap.add_argument("--per-folder", type=int, default=50)
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args(argv)
    n, per = args.pages, args.per_folder
    if n < 1 or per < 1:
        ap.error("--pages and --per-folder must be 1 or more")

    rng = random.Random(args.seed)
    os.makedirs(args.out_dir, exist_ok=True)
    marker = os.path.join(args.out_dir, ".complete")
    if os.path.exists(marker):
        os.remove(marker)

    folders = (n + per - 1) // per
    for f in range(folders):
        d = os.path.join(args.out_dir, "d%04d" % f)
        os.makedirs(d, exist_ok=True)
        for k in range(7):
            with open(os.path.join(d, "img-0-%d.jpg" % k), "wb") as fh:
                fh.write(b"\xff\xd8\xff\xe0" + bytes(60) + b"\xff\xd9")

    for i in range(n):
        path = os.path.join(args.out_dir, folder_of(i, per), page_name(i))
        with open(path, "w", encoding="utf-8", newline="\n") as fh:
            fh.write(make_page(i, n, per, rng))

    index = ["<!DOCTYPE html>\n<html><head><title>Benchmark site</title></head><body>",
             "<h1>%d pages in %d folders</h1>" % (n, folders)]
    for f in range(folders):
        index.append("<a href=\"d%04d/%s\">folder %d</a>" % (f, page_name(f * per), f))
    index.append("</body></html>\n")
    with open(os.path.join(args.out_dir, "index.html"), "w", encoding="utf-8", newline="\n") as fh:
        fh.write("\n".join(index))

    with open(marker, "w") as fh:
        fh.write("%d\n" % n)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
