# Builds in build/ and runs the example or the tests. ./demo.sh and ./test.sh
# install the Debian packages first; these targets expect them.
#   make quick   the unit tests alone, on every core: the loop while editing
#   make check   the whole release build and its whole test suite
#   make test    that, the suite again under the sanitizers, the examples
#                built with Clang and for aarch64, and fuzzing
#   make clean   removes every build folder these targets make
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= 2
EXAMPLE ?= room-1m
PREFIX ?= /usr/local
CORVANE = $(CURDIR)/$(BUILD_DIR)/app/corvane

.PHONY: all configure build demo install gallery quick check test clean

all: build

configure:
	cmake -S . -B $(BUILD_DIR) -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD_DIR) -j$(JOBS)

# Builds only the program and runs it in the example's folder, which then
# holds out.ppm and the PNG to look at.
demo: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target corvane
	cd examples/$(EXAMPLE) && $(CORVANE) --png $(EXAMPLE).png
	@echo
	@echo "The picture is $(CURDIR)/examples/$(EXAMPLE)/$(EXAMPLE).png"

install: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target corvane corvane-import
	cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# Renders every example in a copy of its folder and keeps its PNG, 256 pixels
# wide, as docs/gallery/NAME.png, and the turn of one as orbit.gif. Without dates in the files, an unchanged
# picture gives the same bytes.
GALLERY = $(notdir $(wildcard examples/*))
# The animated turn of one example, docs/gallery/orbit.gif: one trace of a
# million samples seen from ORBIT_FRAMES eyes around it.
ORBIT_EXAMPLE ?= spider
ORBIT_FRAMES ?= 18

gallery: configure
	cmake --build $(BUILD_DIR) -j$(JOBS) --target corvane
	mkdir -p docs/gallery
	@for example in $(GALLERY); do \
	  copy=$$(mktemp -d) && cp examples/$$example/corvane.cfg examples/$$example/*.wrl $$copy/ && \
	  echo "corvane: $$example" && \
	  (cd $$copy && $(CORVANE) -q --no-window --png picture.png) && \
	  convert $$copy/picture.png -resize 256x256 -strip -define png:exclude-chunks=date,time \
	    docs/gallery/$$example.png; \
	  status=$$?; rm -rf $$copy; [ $$status -eq 0 ] || exit $$status; \
	done
	@echo "corvane: $(ORBIT_EXAMPLE), $(ORBIT_FRAMES) views around it"
	@copy=$$(mktemp -d) && cp examples/$(ORBIT_EXAMPLE)/corvane.cfg examples/$(ORBIT_EXAMPLE)/*.wrl $$copy/ && \
	  mkdir $$copy/frames && \
	  (cd $$copy && $(CORVANE) -q --no-window -D DATASETSIZE=1000000 --orbit $(ORBIT_FRAMES) --up 0,1,0 \
	    --png frames/turn.png) && \
	  convert -delay 15 -loop 0 $$copy/frames/turn-*.png -resize 128x128 -colorspace Gray -colors 16 \
	    -layers Optimize -strip docs/gallery/orbit.gif; \
	  status=$$?; rm -rf $$copy; exit $$status

# Only the test executables with unit tests, none of the programs; the tests
# labelled slow (more than about ten seconds each) wait for `make check`.
QUICK_JOBS ?= $(shell nproc)

quick: configure
	cmake --build $(BUILD_DIR) -j$(QUICK_JOBS) --target unit_tests
	cd $(BUILD_DIR) && ctest -L unit -LE slow --output-on-failure -j$(QUICK_JOBS)

check: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

test: check
	$(MAKE) test-sanitize
	$(MAKE) test-threads
	$(MAKE) test-clang
	$(MAKE) test-aarch64
	$(MAKE) fuzz FUZZ_SECONDS=$(FUZZ_TEST_SECONDS)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(CLANG_DIR) $(AARCH64_DIR) $(FUZZ_DIR)

# Benchmarks print tables of figures; nothing here is a pass or fail.
.PHONY: bench
bench: build
	$(BUILD_DIR)/bench/rayquery_bench
	$(BUILD_DIR)/bench/objecttree_bench
	$(BUILD_DIR)/bench/sensor_bench
	$(BUILD_DIR)/bench/sampling_bench
	$(BUILD_DIR)/bench/views_bench
	@# Built only where CMake found Embree 3 (libembree-dev).
	@if [ -x $(BUILD_DIR)/bench/embree_bench ]; then $(BUILD_DIR)/bench/embree_bench; fi

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

# The tests of the code that runs on several threads (the sampling loop's
# pipeline against the plain loop, the sensor stages, the hierarchy's
# threaded build), built with ThreadSanitizer; a race ends the test.
TSAN_DIR ?= build-tsan
TSAN_TARGETS = samplingpipeline_test sensor_threads_test bvhnodes_test
TSAN_TESTS = ^(SamplingPipeline|SensorThreads|BvhNodes)\.

.PHONY: test-threads
test-threads:
	cmake -S . -B $(TSAN_DIR) -G "Unix Makefiles" -DCORVANE_SANITIZE_THREADS=ON -DCORVANE_IMPORTER=OFF
	cmake --build $(TSAN_DIR) -j$(JOBS) --target $(TSAN_TARGETS)
	cd $(TSAN_DIR) && TSAN_OPTIONS=halt_on_error=1 ctest -R '$(TSAN_TESTS)' --output-on-failure -j$(JOBS)

# The program built with Clang must give every example the same image as
# the GCC build: the recorded digests are the same for both.
CLANG_DIR ?= build-clang

.PHONY: test-clang
test-clang:
	cmake -S . -B $(CLANG_DIR) -G "Unix Makefiles" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(CLANG_DIR) -j$(JOBS) --target corvane examples_test
	cd $(CLANG_DIR) && ctest -R '^Examples\.' --output-on-failure

# The program cross-built for 64-bit Arm and run under qemu-aarch64 must give
# every example the recorded image, and the whole runs that compare bytes the
# same bytes as on x86-64; the NEON lanes must match the plain arrays bit for
# bit. The tests run under the emulator too. The importer is left out: Coin's
# Debian package installs for one architecture only.
AARCH64_DIR ?= build-aarch64
AARCH64_TESTS = ^(Examples|Program|Cli|Lanes)\.

.PHONY: test-aarch64
test-aarch64:
	cmake -S . -B $(AARCH64_DIR) -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DCORVANE_IMPORTER=OFF
	cmake --build $(AARCH64_DIR) -j$(JOBS) --target corvane examples_test program_test cli_test lanes_test
	cd $(AARCH64_DIR) && ctest -R '$(AARCH64_TESTS)' --output-on-failure -j$(JOBS)

# libFuzzer harnesses (clang): each runs FUZZ_SECONDS on its seed corpus in
# tests/fuzz/corpus/; `make test` gives each FUZZ_TEST_SECONDS.
FUZZ_DIR ?= build-fuzz
FUZZ_SECONDS ?= 180
FUZZ_TEST_SECONDS ?= 20
FUZZERS = fuzz_scene fuzz_settings fuzz_run fuzz_samples

.PHONY: fuzz fuzz-build
fuzz-build:
	cmake -S tests/fuzz -B $(FUZZ_DIR) -G "Unix Makefiles" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
	cmake --build $(FUZZ_DIR) -j$(JOBS) --target $(FUZZERS)

fuzz: fuzz-build
	@for harness in $(FUZZERS); do sh tests/fuzz/run_fuzzer.sh $(FUZZ_DIR) $$harness $(FUZZ_SECONDS) || exit 1; done
