# The front door: `make demo` and `make test`.
#   make test SANITIZE=address,undefined   builds in build-san with both sanitizers
#   make bench                             builds and runs the benchmarks
SANITIZE ?=
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

.PHONY: all deps configure build demo test bench clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_ARGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j$(JOBS)

demo: build
	@$(BUILD)/host/tavelo demo

test: build
	@cd $(BUILD) && $(TEST_ENV) ctest --output-on-failure -j$(JOBS)

bench: build
	@for b in $(BUILD)/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf build build-san
