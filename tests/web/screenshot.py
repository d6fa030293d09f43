#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""A screenshot of the page at work, for the README: PICTURE... picked, headless
Chromium at 1280 x 900.

    tests/web/screenshot.py --page build-web/page --out docs/pictures/web-page.png PICTURE...
"""
import argparse
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--page', required=True)
    parser.add_argument('--out', required=True)
    parser.add_argument('pictures', nargs='+')
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix='grayframe-screenshot-') as scratch:
        page = browser.Page(args.page, scratch)
        try:
            page.driver.set_window_size(1280, 900)
            page.pick('pick', [os.path.abspath(p) for p in args.pictures])
            page.wait_ready()
            page.driver.execute_script(
                'document.querySelectorAll(".player button").forEach((b) => b.click());'
                'document.getElementById("pictures-title").scrollIntoView();')
            page.driver.save_screenshot(args.out)
        finally:
            page.close()


if __name__ == '__main__':
    main()
