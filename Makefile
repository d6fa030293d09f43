# make        build build/grayframe and build/grayframe-embed (Release)
# make demo   convert the example chart in all three fit modes
# make test   build and run the whole test suite
# make pictures  regenerate the README's pictures in docs/pictures (the page's
#                screenshot too)
# make deb    build the Debian package of the minimal build into build-minimal/
#             (MAINTAINER="Name <address>" sets its Maintainer field for this run)
# make install   install the minimal build under PREFIX (default /usr/local)
# make uninstall remove what the last make install put in place
# make package-test  make deb, then check that package (lintian, a run from a scratch root)
#                    and make install from a fresh clone
# make test-asan  the whole test suite built with AddressSanitizer and UBSan
# make test-tsan  the tests that run inputs on worker threads, built with ThreadSanitizer
# make fuzz   each libFuzzer target for FUZZ_SECONDS, from its seeds in fuzz/corpus/
# make bench-memory  peak memory on a 6000 x 4000 JPEG in each mode
# make minimal       build build-minimal/grayframe and grayframe-embed (all that
#                    make install installs) on a small OpenCV built from source
#                    (once, kept in ~/.cache/grayframe/ for every clone; OPENCV_SOURCE=DIR
#                    uses that tree, built into build-minimal/)
# make minimal-test  build both and run the test suite against the small OpenCV,
#                    with the check that both builds write the same bytes
# make bench         benchmark the packaged program and the Debian build against
#                    decoding alone and convert, the display options' frames and the
#                    compressed frame sets
# make bench-display the display options' frames against the ideal frame (PSNR)
# make bench-frame-code  compressed frame sets beside zlib -9 and LZ4-HC, bytes per frame
# make bench-firmware    the firmware decoder's flash and RAM on AVR and Cortex-M0, and
#                        its cycles per frame under simavr: rows and spans
#                        (ATmega328P), whole frames (ATmega1284P); the Arduino
#                        examples' flash and RAM on an Uno and a Mega
# make web           build build-web/page/, the page that converts pictures in the
#                    browser (docs/web.md): grayframe and grayframe-embed compiled to
#                    WebAssembly with Emscripten, on libraries built once from Debian's
#                    sources and kept in ~/.cache/grayframe/
# make windows       cross-build build-windows/grayframe.exe (static, x86-64) and
#                    build-windows/grayframe-VERSION-win64.zip; the image libraries and a
#                    small OpenCV are cross-built once from Debian's sources and kept in
#                    ~/.cache/grayframe/ (OPENCV_SOURCE=DIR uses that OpenCV tree)
# make windows-test  build both and compare grayframe.exe under wine with build/grayframe
# make arduino       build build/grayframe-arduino-VERSION.zip, the Arduino library (the
#                    decoder and its examples, their sets made from pictures here) that
#                    the Arduino IDE and PlatformIO install (docs/arduino.md)
BUILD_DIR ?= build
# The project's compilations are kept by ccache outside the clone (~/.cache/ccache), with
# paths inside the clone taken relative to it, so that another clone or a second CI run
# on the machine compiles only what changed. Without ccache nothing changes.
CCACHE = $(shell command -v ccache 2>/dev/null)
LAUNCHER = $(if $(CCACHE),-DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE) \
	-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE))
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
JOBS ?= $(shell nproc)
# The animation helper's libraries (FFmpeg's, libwebp's animation decoder, giflib).
ANIMATION_PACKAGES := libavformat-dev libavcodec-dev libswscale-dev libavutil-dev \
	libwebp-dev libgif-dev
BUILD_PACKAGES := cmake make g++ pkg-config libopencv-dev ccache $(ANIMATION_PACKAGES)
TEST_PACKAGES := $(BUILD_PACKAGES) gcc clang-14 libgtest-dev dpkg-dev man-db xvfb xdotool \
	x11-utils libx11-dev gcc-avr avr-libc simavr libsimavr-dev gcc-arm-none-eabi \
	libnewlib-arm-none-eabi qemu-system-arm ffmpeg imagemagick webp python3-pil \
	arduino-builder arduino-core-avr
# The CMake package's test builds the firmware example with Ninja too.
FIRMWARE_TEST_PACKAGES := ninja-build
DEMO_DIR := $(BUILD_DIR)/demo
MINIMAL_DIR ?= build-minimal
OPENCV_SOURCE ?=
MINIMAL_PACKAGES := $(TEST_PACKAGES) libgtk-3-dev libpng-dev libjpeg-dev \
	libtiff-dev libwebp-dev zlib1g-dev file lintian
MAINTAINER ?=
BENCH_PACKAGES := hyperfine imagemagick time zlib1g-dev liblz4-dev

.PHONY: all deps test-deps configure demo test clean pictures deb install uninstall
.PHONY: test-asan test-tsan fuzz bench-memory
.PHONY: minimal minimal-deps minimal-test bench bench-display bench-frame-code bench-firmware \
	package-test
.PHONY: windows windows-deps windows-test web arduino

all: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target grayframe grayframe_embed

deps:
	@sh scripts/install-deps.sh $(BUILD_PACKAGES)

test-deps:
	@sh scripts/install-deps.sh $(TEST_PACKAGES) $(FIRMWARE_TEST_PACKAGES)

configure:
	cmake -S . -B $(BUILD_DIR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
		-DGRAYFRAME_WINDOWS_EXE=

demo: all
	@for mode in fitin fitout stretch; do \
		mkdir -p $(DEMO_DIR)/$$mode && cp examples/chart.png $(DEMO_DIR)/$$mode/ && \
		$(BUILD_DIR)/grayframe -i $(DEMO_DIR)/$$mode/chart.png -resizemode $$mode || exit 1; \
	done
	@echo "demo outputs:"; ls -1 $(DEMO_DIR)/*/chart.png_out.*

test: test-deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS)
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The page's screenshot is taken in headless Chromium (make web-test's packages).
pictures: all web
	cmake --build $(BUILD_DIR) -j $(JOBS) --target docs_pictures
	sh scripts/make-pictures.sh $(BUILD_DIR)/grayframe $(BUILD_DIR)/docs_pictures \
		docs/pictures $(BUILD_DIR)/pictures $(BUILD_DIR)/grayframe-embed
	@sh scripts/install-deps.sh $(WEB_TEST_PACKAGES)
	$(WEB_PYTHON) tests/web/screenshot.py --page $(WEB_DIR)/page \
		--out docs/pictures/web-page.png examples/chart.png examples/rose.png

# What make deb and make install deliver is the minimal build: it starts in a few
# milliseconds, and its decode helper (built on Debian's OpenCV) reads the rest.
deb: minimal
	cd $(MINIMAL_DIR) && cpack -G DEB
	@ls -1 $(MINIMAL_DIR)/*.deb

# make uninstall removes what the last make install put in place, under its prefix: the
# list of those files is kept apart from CMake's install_manifest.txt, which make deb
# overwrites.
INSTALLED_LIST = $(MINIMAL_DIR)/installed-files.txt

install: minimal
	cmake --install $(MINIMAL_DIR) --prefix $(or $(PREFIX),/usr/local)
	cp $(MINIMAL_DIR)/install_manifest.txt $(INSTALLED_LIST)

uninstall:
	@sh scripts/uninstall.sh $(INSTALLED_LIST)

package-test: all deb
	cmake --build $(BUILD_DIR) -j $(JOBS) --target grayframe make_picture
	sh tests/package_test.sh $(MINIMAL_DIR) . $(BUILD_DIR)/grayframe \
		$(MINIMAL_DIR)/grayframe_*.deb

# Reports end the process with a failure status, also in the program the tests start.
# Leaks inside the libraries we load are listed, with reasons, in tests/lsan.supp.
# A failed allocation returns null as in the plain build, so that the library's own
# handling of a hostile size is what gets tested. grayframe points descriptor 2 at
# /dev/null while it runs and sends AddressSanitizer's reports to its real standard
# error; UBSan's one-line findings in the program are lost there, but its exit status
# (1) still fails the test: rerun that input by hand to see the line.
ASAN_DIR ?= build-asan
ASAN_FLAGS := detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:allocator_may_return_null=1
UBSAN_FLAGS := print_stacktrace=1:halt_on_error=1
SANITIZER_ENV := \
	ASAN_OPTIONS=$(ASAN_FLAGS) \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=$(UBSAN_FLAGS)

test-asan: test-deps
	cmake -S . -B $(ASAN_DIR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
		-DGRAYFRAME_SANITIZE=ON
	$(SANITIZER_ENV) cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# The installed libraries are not instrumented: tests/tsan.supp lists, with reasons, what
# that makes the sanitizer report in them. A report fails the test.
TSAN_DIR ?= build-tsan
TSAN_ENV := TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp
TSAN_TESTS := ^(Cli|Pipeline|PreviewWithoutDisplay|FrameStream|Animation)\.

test-tsan: test-deps
	cmake -S . -B $(TSAN_DIR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
		-DGRAYFRAME_TSAN=ON
	cmake --build $(TSAN_DIR) -j $(JOBS) --target grayframe_tests
	cd $(TSAN_DIR) && $(TSAN_ENV) ctest --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

# Extra options of a target: fuzz/TARGET.options. New findings land in
# $(FUZZ_DIR)/corpus; a failing input is saved as $(FUZZ_DIR)/crash-* (or leak-*,
# timeout-*, oom-*) and stops the run. The library's pixel limit is lowered to 2^24 so
# that a mutated header cannot make one input take minutes to decode.
FUZZ_DIR ?= build-fuzz
FUZZ_ABS = $(abspath $(FUZZ_DIR))
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := parser_fuzz frame_fuzz input_fuzz decoder_fuzz frame_set_fuzz
FUZZ_PACKAGES := $(BUILD_PACKAGES) clang-14 libclang-rt-14-dev
# A fixed seed keeps CI's runs repeatable; FUZZ_SEED=0 lets libFuzzer pick one.
FUZZ_SEED ?= 1
FUZZ_OPTIONS = -seed=$(FUZZ_SEED) -max_total_time=$(FUZZ_SECONDS) -timeout=60 -rss_limit_mb=6144 \
	-malloc_limit_mb=6144 -print_final_stats=1 -artifact_prefix=$(FUZZ_ABS)/

fuzz:
	@sh scripts/install-deps.sh $(FUZZ_PACKAGES)
	cmake -S . -B $(FUZZ_DIR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
		-DGRAYFRAME_FUZZ=ON -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target $(FUZZ_TARGETS)
	@for target in $(FUZZ_TARGETS); do \
		mkdir -p $(FUZZ_DIR)/corpus/$$target; \
		options=$$(cat fuzz/$$target.options 2>/dev/null); \
		echo "fuzzing $$target for $(FUZZ_SECONDS) s"; \
		$(SANITIZER_ENV) OPENCV_IO_MAX_IMAGE_PIXELS=16777216 \
			$(FUZZ_DIR)/fuzz/$$target $(FUZZ_OPTIONS) $$options \
			$(FUZZ_DIR)/corpus/$$target fuzz/corpus/$$target || exit 1; \
	done
	@echo "fuzz: $(words $(FUZZ_TARGETS)) passed, 0 failed"

arduino: deps configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target arduino_library
	@ls -1 $(BUILD_DIR)/grayframe-arduino-*.zip

bench-memory: deps configure
	@sh scripts/install-deps.sh time
	cmake --build $(BUILD_DIR) -j $(JOBS) --target grayframe make_picture
	sh scripts/memory-bench.sh $(BUILD_DIR)

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(FUZZ_DIR) $(MINIMAL_DIR) $(WINDOWS_DIR) $(WEB_DIR)

minimal-deps:
	@sh scripts/install-deps.sh $(MINIMAL_PACKAGES)

minimal: minimal-deps
	JOBS=$(JOBS) sh scripts/minimal-opencv.sh $(MINIMAL_DIR)/opencv-work \
		$(MINIMAL_DIR)/opencv $(OPENCV_SOURCE)
	cmake -S . -B $(MINIMAL_DIR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
		-DOpenCV_DIR=$(abspath $(MINIMAL_DIR))/opencv/lib/cmake/opencv4 \
		-DGRAYFRAME_REFERENCE=$(abspath $(BUILD_DIR))/grayframe \
		$(if $(MAINTAINER),-DGRAYFRAME_MAINTAINER="$(MAINTAINER)",-UGRAYFRAME_MAINTAINER)
	cmake --build $(MINIMAL_DIR) -j $(JOBS) --target grayframe grayframe_embed

minimal-test: all minimal
	cmake --build $(BUILD_DIR) -j $(JOBS) --target make_picture
	cmake --build $(MINIMAL_DIR) -j $(JOBS)
	cd $(MINIMAL_DIR) && ctest --output-on-failure -j $(JOBS)

# The installed program is measured as the package holds it, unpacked into a scratch
# folder; beside it the Debian build.
bench: all deb
	@sh scripts/install-deps.sh $(BENCH_PACKAGES)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target bench_pictures decode_only stages
	cmake --build $(MINIMAL_DIR) -j $(JOBS) --target decode_only stages
	rm -rf $(BUILD_DIR)/bench/package && dpkg-deb -x $(MINIMAL_DIR)/grayframe_*.deb \
		$(BUILD_DIR)/bench/package
	bash bench/run.sh $(BUILD_DIR)/bench debian=$(BUILD_DIR) \
		package=$(MINIMAL_DIR)=$(BUILD_DIR)/bench/package/usr/bin/grayframe
	bash bench/animation.sh $(BUILD_DIR)/bench/animation \
		$(BUILD_DIR)/bench/package/usr/bin/grayframe-embed
	bash bench/overwrite.sh $(BUILD_DIR)/bench $(BUILD_DIR)/bench/pictures/batch.txt \
		debian=$(abspath $(BUILD_DIR))/grayframe \
		package=$(abspath $(BUILD_DIR))/bench/package/usr/bin/grayframe
	$(MAKE) bench-display
	$(MAKE) bench-frame-code
	$(MAKE) bench-firmware

bench-display: all
	@sh scripts/install-deps.sh imagemagick
	cmake --build $(BUILD_DIR) -j $(JOBS) --target display_quality
	sh bench/display.sh $(BUILD_DIR)/display_quality $(BUILD_DIR)/bench

bench-frame-code: all
	@sh scripts/install-deps.sh $(BENCH_PACKAGES)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target frame_set_pictures frame_code_bench
	bash bench/frame_code.sh $(BUILD_DIR)/bench $(BUILD_DIR)

bench-firmware: all test-deps
	cmake --build $(BUILD_DIR) -j $(JOBS) --target frame_set_pictures arduino_library
	bash bench/firmware.sh $(BUILD_DIR)/bench $(BUILD_DIR)
	bash bench/arduino.sh $(BUILD_DIR)/bench $(BUILD_DIR)/grayframe-arduino-*.zip

# The Windows build. Without OPENCV_SOURCE the OpenCV tree that make minimal fetched is
# used when it is there, so that it is fetched only once.
WINDOWS_DIR ?= build-windows
WINDOWS_PACKAGES := cmake make ccache gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix \
	nasm dpkg-dev
WINDOWS_TEST_PACKAGES := $(TEST_PACKAGES) wine wine64
MINIMAL_OPENCV_TREE = $(wildcard $(MINIMAL_DIR)/opencv-work/src-debian/.complete)
WINDOWS_OPENCV_SOURCE = $(or $(OPENCV_SOURCE),$(if $(MINIMAL_OPENCV_TREE),$(patsubst \
	%/CMakeLists.txt,%,$(firstword $(wildcard \
	$(MINIMAL_DIR)/opencv-work/src-debian/opencv-*/CMakeLists.txt)))))
WINE_ENV = WINEPREFIX=$(abspath $(WINDOWS_DIR))/wine WINEDEBUG=-all

windows-deps:
	@sh scripts/install-deps.sh $(WINDOWS_PACKAGES)

windows: windows-deps
	JOBS=$(JOBS) sh scripts/windows-libraries.sh $(WINDOWS_DIR)/libraries-work \
		$(WINDOWS_DIR)/libraries $(WINDOWS_OPENCV_SOURCE)
	cmake -S . -B $(WINDOWS_DIR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
		-DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-w64-x86_64.cmake \
		-DCMAKE_FIND_ROOT_PATH=$(abspath $(WINDOWS_DIR))/libraries \
		-DOpenCV_DIR=$(abspath $(WINDOWS_DIR))/libraries
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target windows_zip
	@ls -1 $(WINDOWS_DIR)/*.zip

# The wine prefix is made, and wine's server and services started, before the tests and
# apart from them (their messages and open descriptors stay out of the tests'); the
# server is ended afterwards.
windows-test: windows test-deps
	@sh scripts/install-deps.sh $(WINDOWS_TEST_PACKAGES)
	cmake -S . -B $(BUILD_DIR) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON \
		-DGRAYFRAME_WINDOWS_EXE=$(abspath $(WINDOWS_DIR))/grayframe.exe \
		-DGRAYFRAME_WINE_PREFIX=$(abspath $(WINDOWS_DIR))/wine
	cmake --build $(BUILD_DIR) -j $(JOBS) --target grayframe grayframe_embed windows_tests
	$(WINE_ENV) wineserver -p </dev/null >/dev/null 2>&1 || true
	$(WINE_ENV) wineboot --init </dev/null >/dev/null 2>&1
	status=0; (cd $(BUILD_DIR) && ctest --output-on-failure -R '^Windows\.') || status=$$?; \
		$(WINE_ENV) wineserver -k; exit $$status

# The browser build. Emscripten's tools find Node's modules only on Debian's path.
WEB_DIR ?= build-web
WEB_PACKAGES := emscripten nodejs cmake make dpkg-dev
WEB_ENV := NODE_PATH=/usr/share/nodejs

web:
	@sh scripts/install-deps.sh $(WEB_PACKAGES)
	$(WEB_ENV) JOBS=$(JOBS) sh scripts/web-libraries.sh $(WEB_DIR)/libraries-work \
		$(WEB_DIR)/libraries
	$(WEB_ENV) emcmake cmake -S . -B $(WEB_DIR) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
		-DCMAKE_FIND_ROOT_PATH=$(abspath $(WEB_DIR))/libraries \
		-DOpenCV_DIR=$(abspath $(WEB_DIR))/libraries/lib/cmake/opencv4 >/dev/null
	$(WEB_ENV) cmake --build $(WEB_DIR) -j $(JOBS) --target web_page
	@echo "the page: $(WEB_DIR)/page/ (make web-serve serves it)"

include web.mk
