#!/usr/bin/env python3
"""Checks the include rules of src/: each core folder includes only itself
and the folders below it, nothing includes a front end, only src/win32
includes Windows headers, and only the libcurl downloader and src/cli name
libcurl. Prints every breach; exits 1 when there is one."""
import pathlib
import re
import sys

CORE = ["text", "state", "parse", "fetch", "crawl", "project"]
FRONT_ENDS = ["cli", "win32"]
WINDOWS_HEADERS = re.compile(r"#include\s*<(windows|windowsx|commctrl|commdlg|shellapi|objbase|urlmon|ole2|winsock2)\.h>", re.I)
CURL = re.compile(r"#include\s*<curl/")
LOCAL = re.compile(r'#include\s*"([a-z0-9_]+)/')


def breaches(src):
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(src).parts[0]
        text = path.read_text(encoding="utf-8", errors="replace")
        for number, line in enumerate(text.splitlines(), 1):
            where = f"{path.relative_to(src.parent)}:{number}"
            match = LOCAL.search(line)
            if match:
                target = match.group(1)
                if target in FRONT_ENDS and target != folder:
                    yield f"{where}: includes the front end {target}/"
                elif folder in CORE and target in CORE and CORE.index(target) > CORE.index(folder):
                    yield f"{where}: {folder}/ includes {target}/, which stands above it"
                elif target not in CORE + FRONT_ENDS:
                    yield f"{where}: includes {target}/, a folder of no known layer"
            if WINDOWS_HEADERS.search(line) and folder != "win32":
                yield f"{where}: a Windows header outside src/win32"
            if CURL.search(line) and folder != "cli" and path.stem != "curl_downloader":
                yield f"{where}: libcurl outside the downloader and the command line"


def main():
    src = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")
    found = list(breaches(src))
    for breach in found:
        print(breach)
    print(f"layers: {len(found)} breach(es)")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
