#!/usr/bin/env python3
"""Fails when a source file includes a header of a folder above its own.

The installer's folders are layers, from the bottom: framework, support,
record, engine, app, wizard. A file may include headers of its own folder and
of the folders below it, never of one above. resources/ holds plain headers
(resource ids) that every layer may include. packer/, product/ and bench/
stand beside the layers: the packer may use the archive layout of engine/,
the benchmark anything; no layer may include them. Tests are not checked.

Usage: check_layers.py [SOURCE_ROOT]   (default: the repository this file is in)
Prints every upward include as file:line and exits 1 when there is one.
"""
import os
import re
import sys

LAYERS = ["framework", "support", "record", "engine", "app", "wizard"]
# Folders beside the layers, with the layers they may include.
BESIDE = {
    "packer": {"framework", "support", "engine"},
    "product": {"framework", "support"},
    "bench": set(LAYERS) | {"packer"},
}
SHARED = {"resources"}
SOURCE_SUFFIXES = (".cpp", ".hpp", ".h", ".rc", ".in")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/[^"]*"')


def allowed(folder):
    if folder in LAYERS:
        return set(LAYERS[: LAYERS.index(folder) + 1]) | SHARED
    return BESIDE[folder] | {folder} | SHARED


def violations(root):
    found = []
    for folder in LAYERS + sorted(BESIDE):
        top = os.path.join(root, folder)
        if not os.path.isdir(top):
            continue
        ok = allowed(folder)
        for dirpath, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1)
                        known = target in LAYERS or target in BESIDE or target in SHARED
                        if known and target not in ok:
                            rel = os.path.relpath(path, root).replace(os.sep, "/")
                            found.append(f"{rel}:{number}: {folder}/ includes {line.strip()[len('#include '):]}"
                                         f" of {target}/, a folder above it")
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    found = violations(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) against the layer order {' < '.join(LAYERS)}")
        return 1
    print(f"layers in order: {' < '.join(LAYERS)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
