# Vorn Settings. `make run` and `make test` do all the set-up on a fresh Debian 12 machine.
BUILD      ?= build
BUILD_TYPE ?= RelWithDebInfo
# Debug information: lines (file and line: backtraces, sanitizer reports; the cheap default), full or none.
DEBUG_INFO ?= lines
JOBS       ?= $(shell nproc)
# make fuzz: all fuzzers share FUZZ_TOTAL_SECONDS (what CI runs), so more fuzzers do not make CI longer.
# make fuzz FUZZ_SECONDS=600: each fuzzer runs that long instead.
FUZZ_TOTAL_SECONDS ?= 240
FUZZ_SECONDS ?=
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test asan-test fuzz fuzz-build clean

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DVORN_DEBUG_INFO=$(DEBUG_INFO) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/vorn-settings

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
asan-test: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON -DVORN_BENCHMARKS=OFF \
	  -DVORN_DEBUG_INFO=$(DEBUG_INFO) $(CMAKE_FLAGS)
	cmake --build build-asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan --output-on-failure -j $(JOBS)

# libFuzzer targets, built with clang-19 (line tables for the sanitizers' reports), each run on a scratch copy
# of its seed corpus.
fuzz-build: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-19 \
	  -DCMAKE_CXX_COMPILER=clang++-19 -DVORN_FUZZ=ON -DVORN_DEBUG_INFO=lines $(CMAKE_FLAGS)
	cmake --build build-fuzz -j $(JOBS) --target fuzzers

fuzz: fuzz-build
	scripts/run-fuzzers build-fuzz/bin $(if $(FUZZ_SECONDS),--each $(FUZZ_SECONDS),--total $(FUZZ_TOTAL_SECONDS))

clean:
	rm -rf $(BUILD) build-asan build-fuzz
