# The front door: `make demo` and `make test`.
#   make test SANITIZE=address,undefined   builds in build-san with both sanitizers
#   make bench                             builds and runs the benchmarks
SANITIZE ?=
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)
ifeq ($(SANITIZE),)
BUILD ?= build
CMAKE_ARGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
TEST_ENV :=
else
BUILD ?= build-san
CMAKE_ARGS ?= -DCMAKE_BUILD_TYPE=Debug -DTAVELO_SANITIZE=$(SANITIZE)
TEST_ENV := TAVELO_MEMORY_CHECKS=1 ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
endif

# Warnings are errors here and in CI; a plain CMake configure leaves them off.
WERROR ?= ON

FUZZ_RUNS ?= 20000
# Each target also stops after this many seconds, so the run stays short on a
# slow machine (targets that write files run far fewer inputs a second).
FUZZ_SECONDS ?= 30

.PHONY: all deps configure build demo test bench fuzz clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_ARGS) -DTAVELO_WERROR=$(WERROR) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

demo: build
	@$(BUILD)/host/tavelo demo --output $(BUILD)/demo

test: build
	@cd $(BUILD) && $(TEST_ENV) ctest --output-on-failure -j$(JOBS)

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

# Every fuzz target, built with clang's libFuzzer and the sanitizers, run a
# bounded number of times (and seconds) over its corpus (tests/fuzz/corpus/<name>).
fuzz: deps
	@cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
	  -DTAVELO_FUZZ=ON -DTAVELO_SANITIZE=address,undefined >/dev/null
	@cmake --build build-fuzz -j$(JOBS) --target $$(cd tests/fuzz && ls *_fuzz.cpp | sed 's/\.cpp$$//')
	@set -e; for src in tests/fuzz/*_fuzz.cpp; do n=$$(basename $$src .cpp); c=tests/fuzz/corpus/$${n%_fuzz}; \
	  mkdir -p build-fuzz/corpus/$$n; echo "== fuzz $$n"; \
	  build-fuzz/$$n -runs=$(FUZZ_RUNS) -max_total_time=$(FUZZ_SECONDS) -max_len=4096 build-fuzz/corpus/$$n $$c 2>&1 | tail -1; done

clean:
	rm -rf build build-san build-fuzz
