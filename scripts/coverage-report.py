#!/usr/bin/env python3
"""Line and branch coverage per package, from the gcov counters of a build.

    scripts/coverage-report.py BUILD_DIR [--check README.md]

Runs gcovr over BUILD_DIR (a build configured with -DTAVELO_COVERAGE=ON whose
tests have run), writes the HTML report to BUILD_DIR/coverage/index.html and
a JSON summary beside it, and prints one row per package. A package is the
prefix of an engine file's name (BEE_render.cpp belongs to BEE), a driver's
folder (drivers/movie), or the folder of a shared header without a package
prefix (Types.h counts with foundation), or the folder of the host, the Python module, the
platform layer, the tools and the plug-ins.

With --check, the figures recorded in the README's table (between the
markers "coverage-baseline" and "/coverage-baseline") are the floor: a
package whose line or branch coverage is more than one point below its
recorded figure fails the check (exit 1).
"""
import argparse
import json
import os
import re
import subprocess
import sys

ENGINE_DIRS = ("foundation", "io", "animation", "project", "cache", "effects", "imaging", "audio")
OTHER_DIRS = ("platform", "host", "python", "tools", "plugins", "sdk")
TOLERANCE = 1.0


def package_of(path):
    parts = path.split("/")
    if parts[0] == "io" and len(parts) > 2 and parts[1] == "drivers":
        return "drivers/" + parts[2]
    if parts[0] in ENGINE_DIRS and len(parts) == 2:
        prefix = re.split(r"[_.]", parts[1])[0]
        # Shared headers without a package prefix (Types.h, Engine.h) count
        # with their folder.
        return prefix if re.fullmatch(r"[A-Z]+", prefix) else parts[0]
    if parts[0] in OTHER_DIRS:
        return parts[0]
    return None


def run_gcovr(root, build):
    out = os.path.join(build, "coverage")
    os.makedirs(out, exist_ok=True)
    summary = os.path.join(out, "summary.json")
    cmd = ["gcovr", "--root", root, "--object-directory", build,
           "--exclude", r".*/tests/.*", "--exclude", r".*/bench/.*",
           "--exclude", r".*/build[^/]*/.*", "--exclude-unreachable-branches",
           "--exclude-throw-branches", "--gcov-ignore-parse-errors",
           "--html-details", os.path.join(out, "index.html"),
           "--json-summary", summary, "--print-summary"]
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL)
    with open(summary) as f:
        return json.load(f)


def per_package(summary):
    totals = {}
    for entry in summary["files"]:
        pkg = package_of(entry["filename"])
        if pkg is None:
            continue
        t = totals.setdefault(pkg, [0, 0, 0, 0])
        t[0] += entry["line_covered"]
        t[1] += entry["line_total"]
        t[2] += entry["branch_covered"]
        t[3] += entry["branch_total"]
    return totals


def percent(covered, total):
    return 100.0 * covered / total if total else 100.0


def read_baseline(readme):
    with open(readme) as f:
        text = f.read()
    m = re.search(r"<!-- coverage-baseline -->(.*?)<!-- /coverage-baseline -->", text, re.S)
    if not m:
        print(f"{readme}: no coverage-baseline table yet; reporting only")
        return {}
    base = {}
    for line in m.group(1).splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) >= 3 and re.fullmatch(r"[\d.]+", cells[1] or "x"):
            base[cells[0].strip("`")] = (float(cells[1]), float(cells[2]))
    return base


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("build")
    ap.add_argument("--check", metavar="README")
    args = ap.parse_args()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    totals = per_package(run_gcovr(root, args.build))
    base = read_baseline(args.check) if args.check else {}

    print(f"{'package':<20} {'lines':>8} {'branches':>9}   lines covered / total")
    failed = []
    for pkg in sorted(totals):
        lc, lt, bc, bt = totals[pkg]
        lp, bp = percent(lc, lt), percent(bc, bt)
        note = ""
        if pkg in base:
            bl, bb = base[pkg]
            if lp < bl - TOLERANCE or bp < bb - TOLERANCE:
                failed.append(pkg)
                note = f"   below the recorded {bl:.1f} / {bb:.1f}"
        print(f"{pkg:<20} {lp:7.1f}% {bp:8.1f}%   {lc} / {lt}{note}")
    all_l = [sum(t[i] for t in totals.values()) for i in range(4)]
    print(f"{'all':<20} {percent(all_l[0], all_l[1]):7.1f}% {percent(all_l[2], all_l[3]):8.1f}%"
          f"   {all_l[0]} / {all_l[1]}")
    print(f"HTML report: {os.path.join(args.build, 'coverage', 'index.html')}")
    missing = sorted(set(base) - set(totals))
    if missing:
        print("recorded but not measured: " + ", ".join(missing))
        failed += missing
    if failed:
        print("coverage fell by more than one point: " + ", ".join(failed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
