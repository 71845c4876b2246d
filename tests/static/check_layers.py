#!/usr/bin/env python3
"""Includes point one way, and no product file grows past its limit.

platform <- core <- device <- scanner <- control (with ui, resources).
Product code never reaches the tests or their kit; the demo and the bench
may use the kit, never the tests themselves.
"""
import pathlib
import re
import sys

LEVEL = {"platform": 0, "core": 1, "device": 2, "scanner": 3,
         "control": 4, "ui": 4, "resources": 4}
# Headers generated from control/ and resources/ are included by bare name.
BARE = {"orvanta.h": 4, "resource.h": 4, "version.h": 4}
MAX_LINES = 520
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCES = (".h", ".cpp", ".rc", ".c")


def target_level(name, here):
    top = name.split("/", 1)[0]
    if "/" not in name:
        return BARE.get(name, LEVEL.get(here))
    return LEVEL.get(top, top)


def main(root):
    root = pathlib.Path(root)
    faults = []
    for folder, level in LEVEL.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in SOURCES:
                continue
            text = path.read_text(encoding="latin-1")
            rel = path.relative_to(root)
            for name in INCLUDE.findall(text):
                to = target_level(name, folder)
                if isinstance(to, str):
                    faults.append(f"{rel}: includes {name} from outside the product")
                elif to > level:
                    faults.append(f"{rel}: includes {name}, a layer above it")
            lines = text.count("\n")
            if lines > MAX_LINES:
                faults.append(f"{rel}: {lines} lines (limit {MAX_LINES})")
    for folder in ("demo", "bench", "testkit"):
        for path in sorted((root / folder).rglob("*")):
            if path.suffix in SOURCES:
                for name in INCLUDE.findall(path.read_text(encoding="latin-1")):
                    if name.startswith("tests/"):
                        faults.append(f"{path.relative_to(root)}: includes {name}")
    for fault in faults:
        print(fault)
    print(f"layers: {len(faults)} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
