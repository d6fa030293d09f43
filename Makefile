# make        build build/grayframe (Release)
# make demo   convert the example chart in all three fit modes
# make test   build and run the whole test suite
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
BUILD_PACKAGES := cmake make g++ pkg-config libopencv-dev
TEST_PACKAGES := $(BUILD_PACKAGES) gcc libgtest-dev
DEMO_DIR := $(BUILD_DIR)/demo

.PHONY: all deps test-deps configure demo test clean

all: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target grayframe

deps:
	@sh scripts/install-deps.sh $(BUILD_PACKAGES)

test-deps:
	@sh scripts/install-deps.sh $(TEST_PACKAGES)

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON

demo: all
	@for mode in fitin fitout stretch; do \
		mkdir -p $(DEMO_DIR)/$$mode && cp examples/chart.png $(DEMO_DIR)/$$mode/ && \
		$(BUILD_DIR)/grayframe -i $(DEMO_DIR)/$$mode/chart.png -resizemode $$mode || exit 1; \
	done
	@echo "demo outputs:"; ls -1 $(DEMO_DIR)/*/chart.png_out.*

test: test-deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR)
