#!/usr/bin/env python3
"""Which tests add nothing to the suite's coverage: a map of every test case's reach.

    scripts/test-map.py [--build build-map] [--jobs N] [--budget PCT]

Builds the tree with clang's source-based coverage in BUILD (once), runs each
case of every GoogleTest program alone, each with its own profile, and the
script tests (install, farm, python, SDK, browser) together once. Every run's
product lines and branches (files outside tests/) are kept in
BUILD/test-map/<program>/<case>/hits.json, so a rerun only runs what is new
(delete that folder to start again).

Then, largest test body first, a test is marked removable when every product
line and branch it reaches is still reached by the tests not yet marked. The
marking is joint: deleting all marked tests together keeps the suite's line
and branch coverage as it is, and so does deleting any of them. With --budget,
tests are then marked that lose a few lines or branches, while each package
loses at most PCT percent of its lines and of its branches. A test whose
program ends before writing its profile (a file size limit, a crash) is never
marked.

The report, BUILD/test-map.txt, lists the marked tests by folder with their
source lines, and after them the other tests with what only they reach.
clang's counts of lines and branches differ a little from gcov's: `make
coverage` stays the measure the README's floor is checked with.
"""
import argparse
import collections
import glob
import importlib.util
import json
import os
import re
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRIPT_TESTS = "^(install|farm|farm_cli|python|SDK_outside_build|view_browser)$"
FLAGS = "-fprofile-instr-generate -fcoverage-mapping"

sys.dont_write_bytecode = True   # no __pycache__ beside the scripts
_spec = importlib.util.spec_from_file_location("coverage_report", os.path.join(ROOT, "scripts", "coverage-report.py"))
coverage_report = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(coverage_report)


def build(bdir, jobs):
    subprocess.run(["cmake", "-S", ROOT, "-B", bdir, "-DCMAKE_C_COMPILER=clang", "-DCMAKE_CXX_COMPILER=clang++",
                    "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_C_FLAGS_DEBUG=-O0", "-DCMAKE_CXX_FLAGS_DEBUG=-O0",
                    "-DCMAKE_C_FLAGS=" + FLAGS, "-DCMAKE_CXX_FLAGS=" + FLAGS,
                    "-DCMAKE_EXE_LINKER_FLAGS=-fprofile-instr-generate",
                    "-DCMAKE_SHARED_LINKER_FLAGS=-fprofile-instr-generate",
                    "-DCMAKE_MODULE_LINKER_FLAGS=-fprofile-instr-generate"], check=True, stdout=subprocess.DEVNULL)
    # Programs the build itself runs (the plug-in resource compiler) write
    # their profiles into the build folder, not the source tree.
    env = dict(os.environ, LLVM_PROFILE_FILE=os.path.join(bdir, "build-%p.profraw"))
    subprocess.run(["cmake", "--build", bdir, "-j", str(jobs)], check=True, stdout=subprocess.DEVNULL, env=env)


def ctest_list(bdir):
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=bdir, capture_output=True, text=True, check=True).stdout
    for t in json.loads(out)["tests"]:
        props = {p["name"]: p["value"] for p in t.get("properties", [])}
        yield t["name"], t.get("command") or [], props


def gtest_cases(bdir):
    """(program, executable, case, ctest properties) for every case of every GoogleTest program."""
    for name, cmd, props in ctest_list(bdir):
        if not cmd or not cmd[0].startswith(bdir) or not os.access(cmd[0], os.X_OK):
            continue
        listed = subprocess.run([cmd[0], "--gtest_list_tests"], capture_output=True, text=True,
                                cwd=props.get("WORKING_DIRECTORY", bdir))
        if listed.returncode:
            continue
        suite = None
        for line in listed.stdout.splitlines():
            if not line.strip():
                continue
            if not line.startswith(" "):
                suite = line.split("#")[0].strip()
            else:
                yield name, cmd[0], suite + line.split("#")[0].strip(), props


def run_case(bdir, mapdir, job):
    program, exe, case, props = job
    out = os.path.join(mapdir, program, case.replace("/", "~"))
    if os.path.exists(os.path.join(out, "hits.json")):
        return
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, LLVM_PROFILE_FILE=out + "/%m-%p.profraw")
    env.update(kv.split("=", 1) for kv in props.get("ENVIRONMENT", []))
    r = subprocess.run([exe, "--gtest_filter=" + case], cwd=props.get("WORKING_DIRECTORY", bdir), env=env,
                       capture_output=True)
    extract(bdir, out, exe, r.returncode)


def objects(bdir):
    found = [os.path.join(bdir, "libtavelo.so"), os.path.join(bdir, "host", "tavelo"),
             os.path.join(bdir, "tools", "piplc")]
    for pattern in ("tavelo/formats/*.so", "plugins/tvx/*.tvx", "python/tavelo/*.so"):
        found += glob.glob(os.path.join(bdir, pattern))
    return [o for o in found if os.path.exists(o)]


def extract(bdir, out, exe, status):
    """Merges the run's profiles and keeps the product lines and branches it reached."""
    raws = glob.glob(out + "/*.profraw")
    profdata = os.path.join(out, "run.profdata")
    # A program stopped by a file size limit or a crash leaves a short profile:
    # the readable ones are merged.
    if raws and subprocess.run(["llvm-profdata", "merge", "-sparse", "-o", profdata] + raws,
                               capture_output=True).returncode:
        raws = [r for r in raws if not subprocess.run(["llvm-profdata", "merge", "-o", "/dev/null", r],
                                                      capture_output=True).returncode]
        subprocess.run(["llvm-profdata", "merge", "-sparse", "-o", profdata] + raws, capture_output=True)
    lines, branches = set(), set()
    if os.path.exists(profdata):
        cmd = ["llvm-cov", "export", "-format=lcov", "-skip-functions", "-instr-profile", profdata, exe]
        for o in objects(bdir):
            cmd += ["-object", o]
        lcov = subprocess.run(cmd + ["-ignore-filename-regex=/tests/|^/usr/"], capture_output=True, text=True).stdout
        source = None
        for line in lcov.splitlines():
            if line.startswith("SF:"):
                source = os.path.relpath(os.path.normpath(line[3:]), ROOT)
                if source.startswith("..") or source.startswith("build"):
                    source = None
            elif source and line.startswith("DA:"):
                number, count = line[3:].split(",")[:2]
                if count != "0":
                    lines.add(f"{source}:{number}")
            elif source and line.startswith("BRDA:"):
                number, block, branch, count = line[5:].split(",")
                if count not in ("-", "0"):
                    branches.add(f"{source}:{number}:{block}:{branch}")
        os.remove(profdata)
    for r in glob.glob(out + "/*.profraw"):
        os.remove(r)
    with open(os.path.join(out, "hits.json"), "w") as f:
        json.dump({"status": status, "lines": sorted(lines), "branches": sorted(branches)}, f)


def run_script_tests(bdir, mapdir):
    out = os.path.join(mapdir, "_scripts", "all")
    if os.path.exists(os.path.join(out, "hits.json")):
        return
    os.makedirs(out, exist_ok=True)
    env = dict(os.environ, LLVM_PROFILE_FILE=out + "/%m-%p.profraw")
    r = subprocess.run(["ctest", "-R", SCRIPT_TESTS], cwd=bdir, env=env, capture_output=True)
    extract(bdir, out, os.path.join(bdir, "host", "tavelo"), r.returncode)


TEST_MACRO = re.compile(r"^\s*(TEST|TEST_F|TEST_P|TYPED_TEST|TYPED_TEST_P)\(\s*(\w+)\s*,\s*(\w+)\s*\)")


def test_bodies():
    """Suite.Name -> (file, first line, last line, lines without blanks and comments)."""
    bodies = {}
    for path in glob.glob(os.path.join(ROOT, "tests", "**", "*.cpp"), recursive=True):
        with open(path, errors="replace") as f:
            text = f.read().split("\n")
        i = 0
        while i < len(text):
            m = TEST_MACRO.match(text[i])
            if not m:
                i += 1
                continue
            j = i
            while j + 1 < len(text) and not text[j].startswith("}"):
                j += 1
                if TEST_MACRO.match(text[j]):
                    j -= 1
                    break
            size = sum(1 for s in text[i:j + 1] if s.strip() and not s.strip().startswith("//"))
            bodies[m.group(2) + "." + m.group(3)] = (os.path.relpath(path, ROOT), i + 1, j + 1, size)
            i = j + 1
    return bodies


def body_of(case):
    """Instances of parameterized and typed tests share their body."""
    suite, name = case.split(".", 1)
    if "/" in suite:
        prefix, rest = suite.split("/", 1)
        suite = prefix if rest.isdigit() else rest
    return suite + "." + name.split("/")[0]


def solve(mapdir, budget, report):
    bodies = test_bodies()
    reach = collections.defaultdict(lambda: [set(), set(), False])
    for path in glob.glob(os.path.join(mapdir, "*", "*", "hits.json")):
        program = os.path.basename(os.path.dirname(os.path.dirname(path)))
        case = os.path.basename(os.path.dirname(path)).replace("~", "/")
        with open(path) as f:
            hits = json.load(f)
        key = "_scripts" if program == "_scripts" else body_of(case)
        reach[key][0].update(hits["lines"])
        reach[key][1].update(hits["branches"])
        reach[key][2] |= not hits["lines"]
    count = collections.Counter()
    for key, (lines, branches, _) in reach.items():
        weight = 1 << 30 if key not in bodies else 1   # the script tests always stay
        count.update({e: weight for e in lines | branches})
    package = lambda e: coverage_report.package_of(e.split(":")[0])
    totals = collections.Counter(package(e) for e in count)
    order = sorted((k for k in reach if k in bodies and not reach[k][2]), key=lambda k: -bodies[k][3])
    marked, lost = [], {}

    def take(key):
        lines, branches, _ = reach[key]
        lost[key] = sorted(e for e in lines | branches if count[e] == 1)
        count.subtract(lines | branches)
        marked.append(key)

    for key in order:
        if all(count[e] > 1 for e in reach[key][0] | reach[key][1]):
            take(key)
    spent = collections.Counter()
    while budget:
        best = None
        for key in order:
            if key in lost:
                continue
            only = collections.Counter(package(e) for e in reach[key][0] | reach[key][1] if count[e] == 1)
            if any(spent[p] + n > budget / 100 * totals[p] for p, n in only.items()):
                continue
            score = bodies[key][3] / (1 + sum(only.values()))
            if best is None or score > best[0]:
                best = (score, key, only)
        if best is None or best[0] < 1:
            break
        spent.update(best[2])
        take(best[1])
    with open(report, "w") as f:
        folders = collections.defaultdict(list)
        for key in marked:
            folders[bodies[key][0].split("/")[1]].append(key)
        total = 0
        for folder, keys in sorted(folders.items()):
            size = sum(bodies[k][3] for k in keys)
            total += size
            print(f"== {folder}: {len(keys)} tests, {size} lines", file=f)
            for key in sorted(keys, key=lambda k: bodies[k][:2]):
                path, first, last, n = bodies[key]
                loses = f"  [loses: {', '.join(lost[key][:8])}]" if lost[key] else ""
                print(f"  {path}:{first}-{last} ({n} lines) {key}{loses}", file=f)
        print(f"== marked: {len(marked)} tests, {total} lines", file=f)
        print("== the others, fewest lines and branches of their own first", file=f)
        rest = [k for k in bodies if k in reach and k not in lost]
        own = {k: sorted(e for e in reach[k][0] | reach[k][1] if count[e] == 1) for k in rest}
        for key in sorted(rest, key=lambda k: (len(own[k]), -bodies[k][3])):
            path, first, last, n = bodies[key]
            note = " (no profile: its program ends before writing one)" if reach[key][2] else ""
            print(f"  {path}:{first}-{last} ({n} lines) {key}: {len(own[key])} own{note} {own[key][:6]}", file=f)
    print(f"{len(marked)} tests ({total} lines) add nothing the rest lacks; report: {report}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", default=os.path.join(ROOT, "build-map"))
    ap.add_argument("--jobs", type=int, default=os.cpu_count())
    ap.add_argument("--budget", type=float, default=0.0,
                    help="percent of its lines and branches a package may lose (default 0)")
    args = ap.parse_args()
    bdir = os.path.abspath(args.build)
    build(bdir, args.jobs)
    mapdir = os.path.join(bdir, "test-map")
    jobs = list(gtest_cases(bdir))
    print(f"{len(jobs)} cases", file=sys.stderr)
    with ThreadPoolExecutor(args.jobs) as pool:
        list(pool.map(lambda job: run_case(bdir, mapdir, job), jobs))
    run_script_tests(bdir, mapdir)
    solve(mapdir, args.budget, os.path.join(bdir, "test-map.txt"))


if __name__ == "__main__":
    main()
