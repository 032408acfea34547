# Builds in build/ and runs the example or the tests. ./demo.sh and ./test.sh
# install the Debian packages first; these targets expect them.
#   make check   the release build and its test suite: the everyday loop
#   make test    that, the suite again under the sanitizers, and fuzzing
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= 2
EXAMPLE ?= room

.PHONY: all build demo check test clean

all: build

build:
	cmake -S . -B $(BUILD_DIR) -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
	cmake --build $(BUILD_DIR) -j$(JOBS)

demo: build
	cd examples/$(EXAMPLE) && ../../$(BUILD_DIR)/app/corvane
	@echo
	@echo "The image is examples/$(EXAMPLE)/out.ppm. To view it as PNG:"
	@echo "  pnmtopng examples/$(EXAMPLE)/out.ppm > $(EXAMPLE).png"

check: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

test: check
	$(MAKE) test-sanitize
	$(MAKE) fuzz FUZZ_SECONDS=$(FUZZ_TEST_SECONDS)

clean:
	rm -rf $(BUILD_DIR)

# Benchmarks print tables of figures; nothing here is a pass or fail.
.PHONY: bench
bench: build
	@if [ -x $(BUILD_DIR)/bench/rayquery_bench ]; then $(BUILD_DIR)/bench/rayquery_bench; fi
	@if [ -x $(BUILD_DIR)/bench/sensor_bench ]; then $(BUILD_DIR)/bench/sensor_bench; fi

# The whole test suite again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer; any report ends the test that caused it.
ASAN_DIR ?= build-asan
SANITIZER_ENV = ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
	UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1

.PHONY: test-sanitize
test-sanitize:
	cmake -S . -B $(ASAN_DIR) -G "Unix Makefiles" -DCORVANE_SANITIZE=ON
	cmake --build $(ASAN_DIR) -j$(JOBS)
	cd $(ASAN_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j$(JOBS)

# libFuzzer harnesses (clang): each runs FUZZ_SECONDS on its seed corpus in
# tests/fuzz/corpus/; `make test` gives each FUZZ_TEST_SECONDS.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 180
FUZZ_TEST_SECONDS ?= 20
FUZZERS = fuzz_scene fuzz_settings fuzz_run

.PHONY: fuzz fuzz-build
fuzz-build:
	cmake -S tests/fuzz -B $(FUZZ_DIR) -G "Unix Makefiles" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_DIR) -j$(JOBS) --target $(FUZZERS)

fuzz: fuzz-build
	@for harness in $(FUZZERS); do sh tests/fuzz/run_fuzzer.sh $(FUZZ_DIR) $$harness $(FUZZ_SECONDS) || exit 1; done
