# make        build build/grayframe (Release)
# make demo   convert the example chart in all three fit modes
# make test   build and run the whole test suite
# make pictures  regenerate the README's pictures in docs/pictures
# make deb    build the Debian package into build/
# make install   install under PREFIX (default /usr/local)
# make test-asan  the whole test suite built with AddressSanitizer and UBSan
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
BUILD_PACKAGES := cmake make g++ pkg-config libopencv-dev
TEST_PACKAGES := $(BUILD_PACKAGES) gcc libgtest-dev dpkg-dev man-db xvfb xdotool x11-utils libx11-dev
DEB_PACKAGES := $(BUILD_PACKAGES) dpkg-dev
DEMO_DIR := $(BUILD_DIR)/demo

.PHONY: all deps test-deps configure demo test clean pictures deb install
.PHONY: test-asan

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

pictures: all
	cmake --build $(BUILD_DIR) -j $(JOBS) --target docs_pictures
	sh scripts/make-pictures.sh $(BUILD_DIR)/grayframe $(BUILD_DIR)/docs_pictures \
		docs/pictures $(BUILD_DIR)/pictures

deb: all
	@sh scripts/install-deps.sh $(DEB_PACKAGES)
	cd $(BUILD_DIR) && cpack -G DEB
	@ls -1 $(BUILD_DIR)/*.deb

install: all
	cmake --install $(BUILD_DIR) --prefix $(or $(PREFIX),/usr/local)

# Reports end the process with a failure status, also in the program the tests start.
# Leaks inside the libraries we load are listed, with reasons, in tests/lsan.supp.
ASAN_DIR ?= build-asan
SANITIZER_ENV := \
	ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

test-asan: test-deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
		-DGRAYFRAME_SANITIZE=ON
	$(SANITIZER_ENV) cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR)
