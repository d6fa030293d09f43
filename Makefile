# make        build build/grayframe (Release)
# make demo   convert the example chart in all three fit modes
# make test   build and run the whole test suite
# make pictures  regenerate the README's pictures in docs/pictures
# make deb    build the Debian package into build/
# make install   install under PREFIX (default /usr/local)
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
BUILD_PACKAGES := cmake make g++ pkg-config libopencv-dev
TEST_PACKAGES := $(BUILD_PACKAGES) gcc libgtest-dev dpkg-dev man-db xvfb xdotool x11-utils libx11-dev
DEB_PACKAGES := $(BUILD_PACKAGES) dpkg-dev
DEMO_DIR := $(BUILD_DIR)/demo

.PHONY: all deps test-deps configure demo test clean pictures deb install

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

clean:
	rm -rf $(BUILD_DIR)
