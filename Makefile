# Builds in build/ and runs the example or the tests. ./demo.sh and ./test.sh
# install the Debian packages first; these targets expect them.
BUILD_DIR ?= build
JOBS ?= 2
EXAMPLE ?= room

.PHONY: all build demo test clean

all: build

build:
	cmake -S . -B $(BUILD_DIR) -G "Unix Makefiles"
	cmake --build $(BUILD_DIR) -j$(JOBS)

demo: build
	cd examples/$(EXAMPLE) && ../../$(BUILD_DIR)/app/corvane
	@echo
	@echo "The image is examples/$(EXAMPLE)/out.ppm. To view it as PNG:"
	@echo "  pnmtopng examples/$(EXAMPLE)/out.ppm > $(EXAMPLE).png"

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD_DIR)

# Benchmarks print tables of figures; nothing here is a pass or fail.
.PHONY: bench
bench: build
	@if [ -x $(BUILD_DIR)/bench/rayquery_bench ]; then $(BUILD_DIR)/bench/rayquery_bench; fi
	@if [ -x $(BUILD_DIR)/bench/sensor_bench ]; then $(BUILD_DIR)/bench/sensor_bench; fi
