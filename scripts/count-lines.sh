#!/usr/bin/env bash
# Lines of C and C++ (.c .cc .cpp .cxx .h .hh .hpp) that git tracks, blank
# lines and lines holding only a // comment left out: the tests (tests/)
# against everything else, and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { git ls-files -- "$@" | grep -E '\.(c|cc|cpp|cxx|h|hh|hpp)$' | xargs -r cat | grep -c -v -E '^\s*(//.*)?$'; }
tests=$(count tests)
all=$(count .)
code=$((all - tests))
awk -v t="$tests" -v c="$code" 'BEGIN { printf "test lines %d, code lines %d, ratio %.3f\n", t, c, t / c }'
