#!/usr/bin/env python3
"""The include rules of src/ (the argument): prints each breach, and exits 1 when there is one."""
import pathlib, re, sys

CORE = ["text", "state", "parse", "fetch", "crawl", "project"]  # each includes only itself and those before it
MAY_INCLUDE = {folder: CORE[:i + 1] for i, folder in enumerate(CORE)} | {end: CORE + [end] for end in ("cli", "win32")}
WINDOWS = re.compile(r"#include\s*<(windows|windowsx|commctrl|commdlg|shellapi|objbase|urlmon|ole2|winsock2)\.h>", re.I)


def breaches(src):
    for path in sorted(p for p in src.rglob("*") if p.suffix in (".h", ".cpp")):
        folder = path.relative_to(src).parts[0]
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            where = f"{path.relative_to(src.parent)}:{number}"
            if (to := re.search(r'#include\s*"([a-z0-9_]+)/', line)) and to[1] not in MAY_INCLUDE.get(folder, []):
                yield f"{where}: {folder}/ includes {to[1]}/, a layer above it, another front end or no known layer"
            if WINDOWS.search(line) and folder != "win32":
                yield f"{where}: a Windows header outside src/win32"
            if re.search(r"#include\s*<curl/", line) and folder != "cli" and path.stem != "curl_downloader":
                yield f"{where}: libcurl outside the downloader and the command line"


found = list(breaches(pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "src")))
print("\n".join(found + [f"layers: {len(found)} breach(es)"]))
sys.exit(1 if found else 0)
