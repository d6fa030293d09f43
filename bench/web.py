#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""The page's figures: the gzip-compressed weight of everything it loads; a 12-megapixel
JPEG converted in the page (headless Chromium, through converter.js) beside the native
programs on the same file; the time until the first frame of a dropped 1-megapixel PNG
is on screen.

    bench/web.py --page build-web/page --work build-web/bench --native debian=build \
                 [--native installed=build-minimal]
"""
import argparse
import gzip
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
import browser  # noqa: E402

RUNS = 5
WEIGHT_TARGET = 4 * 1000 * 1000


def picture(work, name, *make):
    path = os.path.join(work, name)
    if not os.path.exists(path):
        subprocess.run(['convert', *make, path], check=True)
    return path


def native_seconds(program, args, folder):
    times = []
    for _ in range(RUNS):
        start = time.perf_counter()
        subprocess.run([program, *args], cwd=folder, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def weight(page, folder):
    """Each file the page loaded (page and worker, a picture converted) and its gzip size."""
    page.foreign_requests()  # drains the browser's log of what came before
    page.load()
    page.pick('pick', [picture(folder, 'small.png', '-size', '64x48', 'gradient:white-black')])
    page.wait_ready()
    origin = page.url.rsplit('/', 1)[0] + '/'
    loaded = []
    for url in page.requests():
        name = url[len(origin):].split('?')[0] if url.startswith(origin) else None
        if name and name not in loaded:
            loaded.append(name)
    return loaded


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--page', required=True)
    parser.add_argument('--work', required=True)
    parser.add_argument('--native', action='append', default=[],
                        help='LABEL=FOLDER of grayframe and grayframe-embed')
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)  # the browser takes files by absolute path
    os.makedirs(args.work, exist_ok=True)
    jpeg = picture(args.work, 'photo-12mp.jpg', '-seed', '3', '-size', '4000x3000',
                   'plasma:tomato-steelblue', '-blur', '0x2', '-quality', '90')
    png = picture(args.work, 'picture-1mp.png', '-seed', '5', '-size', '1152x864',
                  'plasma:gold-navy')
    with tempfile.TemporaryDirectory(prefix='grayframe-bench-web-') as scratch:
        page = browser.Page(args.page, scratch)
        try:
            print('Weight: every file the page loads, gzip -9')
            total = 0
            for name in weight(page, args.work):
                with open(os.path.join(args.page, name), 'rb') as source:
                    size = len(gzip.compress(source.read(), 9))
                total += size
                print(f'  {name:28} {size:>10,} bytes')
            verdict = 'within' if total <= WEIGHT_TARGET else 'OVER'
            print(f'  {"all":28} {total:>10,} bytes ({verdict} the 4 MB target)')

            print(f'\nA 12-megapixel JPEG ({os.path.getsize(jpeg):,} bytes), median of {RUNS}:')
            with open(jpeg, 'rb') as source:
                files = browser.encoded([{'name': 'photo.jpg', 'bytes': source.read()}])
            timing = page.script('''
                const converter = new c.Converter({grayframe: false});
                await converter.ready;
                const [input] = files(args[0]);
                const time = async (hooks) => {
                    const runs = [];
                    for (let k = 0; k < args[1] + 1; ++k) {
                        const start = performance.now();
                        await converter.convert([input], {name: 'photo'}, hooks);
                        runs.push(performance.now() - start);
                    }
                    runs.shift();  // the first warms the module up
                    runs.sort((a, b) => a - b);
                    return runs[runs.length >> 1] / 1000;
                };
                return [await time({grayframe: false, sizes: false}),
                        await time({})];''', None, [files, RUNS])
            page_set, page_all = timing
            print(f'  {"page: the set":44} {page_set:7.3f} s')
            print(f'  {"page: set, compressed sizes (as the page does)":44} {page_all:7.3f} s')
            folder = os.path.dirname(jpeg)
            for labelled in args.native:
                label, place = labelled.split('=', 1)
                embed = os.path.abspath(os.path.join(place, 'grayframe-embed'))
                own = os.path.abspath(os.path.join(place, 'grayframe'))
                embed_s = native_seconds(embed, ['--name', 'photo', '--output-dir', args.work,
                                                 os.path.basename(jpeg)], folder)
                own_s = native_seconds(own, ['-printdata', '-i', os.path.basename(jpeg)], folder)
                print(f'  {label + " grayframe-embed":44} {embed_s:7.3f} s  '
                      f'(page: {page_set / embed_s:.2f} x, target 2 x)')
                print(f'  {label + " grayframe -printdata":44} {own_s:7.3f} s')

            print(f'\nFirst frame of a dropped 1-megapixel PNG on screen, median of {RUNS}:')
            ready, cold = [], []
            for _ in range(RUNS):
                page.load()
                ready.append(page.first_frame(png))
                page.driver.get(page.url)
                cold.append(page.first_frame(png) + page.driver.execute_script(
                    "return performance.getEntriesByName('grayframe-files')[0].startTime") / 1000)
            print(f'  {"dropped on the loaded page":44} {statistics.median(ready):7.3f} s  (target 1 s)')
            print(f'  {"dropped as the page opens, from its start":44} {statistics.median(cold):7.3f} s')
        finally:
            page.close()


if __name__ == '__main__':
    main()
