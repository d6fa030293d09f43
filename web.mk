# The page's server, tests and benchmark (docs/web.md); make web builds the page into
# $(WEB_DIR)/page.
# make web-serve  serve the page on 127.0.0.1:WEB_PORT (default 8000) and print the address
# make web-test   the page against the native programs in headless Chromium (Selenium),
#                 and a headless Firefox screenshot of it
# make bench-web  the page's weight, a 12-megapixel JPEG converted in the page beside the
#                 native programs, and the first frame of a dropped picture on screen
WEB_DIR ?= build-web
WEB_PORT ?= 8000
# Debian's Python, which has python3-selenium (not one that PATH may put first).
WEB_PYTHON := /usr/bin/python3
WEB_TEST_PACKAGES := python3 chromium chromium-driver python3-selenium firefox-esr imagemagick \
	ffmpeg

.PHONY: web-serve web-test bench-web

web-serve: web
	@echo "serving $(WEB_DIR)/page at http://127.0.0.1:$(WEB_PORT)/ (Ctrl-C stops it)"
	@$(WEB_PYTHON) -m http.server --bind 127.0.0.1 --directory $(WEB_DIR)/page $(WEB_PORT) \
		>/dev/null

web-test: web all
	@sh scripts/install-deps.sh $(WEB_TEST_PACKAGES)
	$(WEB_PYTHON) tests/web/web_test.py --page $(WEB_DIR)/page --native $(BUILD_DIR)

# The installed build is make minimal's, when it is there.
bench-web: web all
	@sh scripts/install-deps.sh $(WEB_TEST_PACKAGES)
	$(WEB_PYTHON) bench/web.py --page $(WEB_DIR)/page --work $(WEB_DIR)/bench \
		--native debian=$(BUILD_DIR) \
		$(if $(wildcard $(MINIMAL_DIR)/grayframe-embed),--native installed=$(MINIMAL_DIR))
