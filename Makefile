# The front door: `make demo` and `make test`.
#   make demo                              installs the missing build packages, builds, runs the demo
#   make test                              installs the missing build and test packages, builds,
#                                          runs every test (scripts/install-deps.sh lists both)
#   make test SANITIZE=address,undefined   builds in build-san with both sanitizers
#                                          (clang; the fuzz targets too)
#   make fuzz                              runs the fuzz targets of that build
#   make bench                             builds and runs the benchmarks
#   make bench-report                      runs the goal comparisons and rewrites
#                                          their table in bench/RESULTS.md
#   make install PREFIX=/opt/tavelo        installs the build there (default /usr/local)
#   make package                           the Debian package build/tavelo_<version>_amd64.deb
SANITIZE ?=
# The sanitizers of the fuzz targets. A sanitizer build with exactly these is
# made with clang and builds the fuzz targets beside the tests, so the engine
# is compiled with the sanitizers once for both (`make fuzz` reuses it).
FUZZ_SANITIZE := address,undefined
FUZZ_CXX := clang++
FUZZ_CMAKE_ARGS := -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=$(FUZZ_CXX) -DTAVELO_FUZZ_TARGETS=ON
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)
ifeq ($(SANITIZE),)
BUILD ?= build
CMAKE_ARGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
TEST_ENV :=
else
BUILD ?= build-san
CMAKE_ARGS ?= -DCMAKE_BUILD_TYPE=Debug -DTAVELO_SANITIZE=$(SANITIZE) \
  $(if $(filter $(FUZZ_SANITIZE),$(SANITIZE)),$(FUZZ_CMAKE_ARGS))
BUILD_CXX := $(if $(filter $(FUZZ_SANITIZE),$(SANITIZE)),$(FUZZ_CXX))
TEST_ENV := TAVELO_MEMORY_CHECKS=1 ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
endif

# Warnings are errors here and in CI; a plain CMake configure leaves them off.
WERROR ?= ON

FUZZ_RUNS ?= 20000
# Each target also stops after this many seconds, so the run stays short on a
# slow machine (targets that write files run far fewer inputs a second).
FUZZ_SECONDS ?= 30

PREFIX ?= /usr/local

.PHONY: all deps test-deps configure build demo test bench bench-report fuzz coverage test-map lines clean install package

all: build

# What building needs (make build, make demo).
deps:
	@scripts/install-deps.sh

# And the peers only the tests and benchmarks use (clang's sanitizers, the
# ffmpeg tool, Slurm and munge, sox, cairo, pixman, melt, oiiotool, pytest).
test-deps:
	@scripts/install-deps.sh --test

# A tree configured with another compiler (an older gcc build-san) starts
# afresh: CMake would drop every other setting when the compiler changes.
configure: deps
	@if [ -n "$(BUILD_CXX)" ] && [ -f $(BUILD)/CMakeCache.txt ] && \
	  ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=\(.*/\)\?$(BUILD_CXX)$$' $(BUILD)/CMakeCache.txt; then \
	  echo "$(BUILD) was configured with another compiler: configuring it afresh with $(BUILD_CXX)"; \
	  rm -rf $(BUILD)/CMakeCache.txt $(BUILD)/CMakeFiles; fi
	@cmake -S . -B $(BUILD) $(CMAKE_ARGS) -DTAVELO_WERROR=$(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

demo: build
	@$(BUILD)/host/tavelo demo --output $(BUILD)/demo

test: test-deps build
	@cd $(BUILD) && $(TEST_ENV) ctest --output-on-failure -j$(JOBS)

install: build
	@cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	@cd $(BUILD) && cpack -G DEB

# The pixel benchmarks run three repetitions of each case in random order,
# so no figure depends on what ran before it (their reporters keep the
# lowest of the three).
PIXEL_BENCHES := pf_bench pf_blur_bench pf_transform_bench bm_bench msk_bench
PIXEL_BENCH_ARGS := --benchmark_enable_random_interleaving=true --benchmark_repetitions=3
bench: test-deps build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; \
	  case " $(PIXEL_BENCHES) " in *" $$(basename $$b) "*) $$b $(PIXEL_BENCH_ARGS);; *) $$b;; esac; done

# Runs every comparison that has a goal and rewrites the generated table of
# bench/RESULTS.md (date, processor, load, figures, goal met or not).
bench-report: test-deps build
	@python3 bench/report.py --build $(BUILD) --results bench/RESULTS.md

# Every fuzz target, built with clang's libFuzzer and the sanitizers (in
# build-san, with the sanitizer tests), run a bounded number of times (and
# seconds) over its corpus (tests/fuzz/corpus/<name>).
FUZZERS = $(shell cd tests/fuzz && ls *_fuzz.cpp | sed 's/\.cpp$$//')
fuzz: test-deps
	@$(MAKE) configure SANITIZE=$(FUZZ_SANITIZE)
	@cmake --build build-san -j$(JOBS) --target $(FUZZERS)
	@set -e; for n in $(FUZZERS); do c=tests/fuzz/corpus/$${n%_fuzz}; \
	  mkdir -p build-san/corpus/$$n; echo "== fuzz $$n"; \
	  build-san/$$n -runs=$(FUZZ_RUNS) -max_total_time=$(FUZZ_SECONDS) -max_len=4096 build-san/corpus/$$n $$c 2>&1 | tail -1; done

# Every test on a build with gcov counters (build-cov), then line and branch
# coverage per package on the terminal and as HTML in build-cov/coverage/.
# Fails when a package falls more than a point below the README's figures.
coverage: test-deps
	@cmake -S . -B build-cov -DCMAKE_BUILD_TYPE=Debug -DTAVELO_COVERAGE=ON -DTAVELO_WERROR=$(WERROR) >/dev/null
	@cmake --build build-cov -j$(JOBS)
	@find build-cov -name '*.gcda' -delete
	@cd build-cov && ctest -j$(JOBS) --output-on-failure; status=$$?; cd .. && \
	  scripts/coverage-report.py build-cov --check README.md && exit $$status

# Every test case run alone on a clang build with source-based coverage
# (build-map), then the tests whose product lines and branches the rest of the
# suite also reaches: build-map/test-map.txt.
test-map: test-deps
	@scripts/test-map.py --build build-map --jobs $(JOBS)

# Test lines against the other lines of code.
lines:
	@scripts/count-lines.sh

clean:
	rm -rf build build-san build-fuzz build-cov build-map
