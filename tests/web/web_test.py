#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""The page's tests: its files and frames against the native programs', in headless
Chromium driven by Selenium, the page served from 127.0.0.1; and a headless Firefox
screenshot of the page.

    tests/web/web_test.py --page build-web/page --native build [unittest options]
"""
import argparse
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402

ARGS = None
PAGE = None      # browser.Page
PICTURES = None  # folder of the pictures made for the tests


def make_pictures(folder):
    def convert(*args):
        subprocess.run(['convert', *args], cwd=folder, check=True)
    convert('-seed', '7', '-size', '320x240', 'plasma:red-blue', '-fill', 'white',
            '-draw', 'circle 160,120 160,60', 'photo.png')
    convert('photo.png', '-quality', '85', 'photo.jpg')
    convert('photo.png', '-crop', '120x240+100+0', '+repage', '-quality', '80', 'tall.webp')
    convert('-delay', '20', '-size', '64x48', 'xc:black', '-fill', 'white', '-draw',
            'rectangle 8,8 30,30', '(', '-clone', '0', '-fill', 'gray60', '-draw',
            'circle 40,24 40,10', ')', '(', '-size', '64x48', 'xc:gray20', ')', '-loop', '0',
            'anim.gif')
    convert('anim.gif', '-loop', '0', 'anim.webp')
    subprocess.run(['ffmpeg', '-v', 'error', '-f', 'lavfi', '-i', 'testsrc=size=96x72:rate=5',
                    '-t', '1', '-plays', '0', '-f', 'apng', 'spin.png'], cwd=folder, check=True)
    with open(os.path.join(folder, 'bad.png'), 'wb') as out:
        out.write(b'\x89PNG\r\n\x1a\n' + bytes(range(256)) * 4)
    with open(os.path.join(folder, 'clip.mp4'), 'wb') as out:
        out.write(b'\0\0\0\x18ftypisom' + bytes(2000))


def native(program, args, files, folder=None):
    """Runs the native program on copies of files in a fresh folder: (status, stderr,
    {output name: bytes})."""
    folder = folder or tempfile.mkdtemp(dir=ARGS.scratch)
    for name in files:
        shutil.copy(os.path.join(PICTURES, name), folder)
    run = subprocess.run([os.path.join(ARGS.native, program), *args], cwd=folder,
                         capture_output=True)
    outputs = {}
    for name in os.listdir(folder):
        if name not in files:
            with open(os.path.join(folder, name), 'rb') as made:
                outputs[name] = made.read()
    return run.returncode, run.stderr.decode('latin-1'), outputs, run.stdout


def set_frames(source):
    """The frames of an uncompressed set's NAME.c, as one bytes object."""
    body = source.decode('latin-1').split('] = {', 1)[1]
    return bytes(int(h, 16) for h in re.findall(r'0x([0-9a-f]{2})', body))


def pictures(*names):
    return [{'name': name, 'bytes': browser.read(os.path.join(PICTURES, name))}
            for name in names]


def setUpModule():
    global PAGE, PICTURES
    PICTURES = tempfile.mkdtemp(dir=ARGS.scratch)
    make_pictures(PICTURES)
    PAGE = browser.Page(ARGS.page, ARGS.scratch)


def tearDownModule():
    if PAGE:
        PAGE.close()


class Converter(unittest.TestCase):
    """convert() through converter.js gives the native programs' bytes."""

    def check_same_as_native(self, names, options, convert=None):
        result = (convert or PAGE.convert)(pictures(*names), options)
        self.assertEqual(result['messages'], [])
        args = shlex.split(result['command'])
        self.assertEqual(args[0], 'grayframe-embed')
        status, stderr, made, _ = native('grayframe-embed', args[1:], names)
        self.assertEqual((status, stderr), (0, ''))
        name = options['name']
        for ext in ('.h', '.c'):
            self.assertEqual(result['files'][name + ext], made[name + ext], name + ext)
        # The frames as the page shows them: the set's frames, compressed or not.
        plain = [a for a in args[1:] if a not in ('--compress', '--target', 'avr')]
        if '--cycles' in plain:
            del plain[plain.index('--cycles'):plain.index('--cycles') + 2]
        _, _, uncompressed, _ = native('grayframe-embed', plain, names)
        frames = set_frames(uncompressed[name + '.c'])
        self.assertEqual(result['files'][name + '.raw'], frames)
        self.assertEqual(b''.join(result['frames']), frames)
        return result

    def test_still_pictures_and_grayframe_own_files(self):
        result = self.check_same_as_native(['photo.png'], {'name': 'photo'})
        raw = native('grayframe', ['-printdata', '-i', 'photo.png'], ['photo.png'])[3]
        self.assertEqual(result['files']['photo.raw'], raw)
        _, _, own, _ = native('grayframe', ['-i', 'photo.png', '-resizemode', 'fitin'], ['photo.png'])
        for name in ('photo.png_out.h', 'photo.png_out.bmp'):
            self.assertEqual(result['files'][name], own[name], name)

        result = self.check_same_as_native(
            ['photo.jpg'], {'name': 'jpeg', 'mode': 'fitout', 'gray': 'luma', 'gamma': '1/2.2',
                            'levels': 'round', 'mirror': 'horizontal'})
        _, _, own, _ = native('grayframe', ['-i', 'photo.jpg', '-resizemode', 'fitout'], ['photo.jpg'])
        self.assertEqual(result['files']['photo.jpg_out.h'], own['photo.jpg_out.h'])

        self.check_same_as_native(['tall.webp'], {'name': 'tall', 'mode': 'stretch', 'levels': 'round'})

    def test_animations_dithered(self):
        result = self.check_same_as_native(
            ['anim.gif', 'anim.webp', 'spin.png'],
            {'name': 'walk', 'dither': 'ordered', 'mode': 'stretch', 'nibbles': 'low-first',
             'background': '128'})
        self.assertEqual([f['picture'] for f in result['frames_info']], [0] * 3 + [1] * 3 + [2] * 5)
        self.assertEqual([f['durationMs'] for f in result['frames_info']], [200] * 11)

    def test_compressed_sets(self):
        result = self.check_same_as_native(
            ['photo.png', 'photo.jpg', 'anim.gif'],
            {'name': 'packed', 'compress': True, 'invert': True, 'rotate': '180',
             'dither': 'diffusion'})
        code_bytes = int(re.search(rb'PACKED_CODE_BYTES (\d+)', result['files']['packed.h']).group(1))
        self.assertEqual(result['sizes']['compressedTotal'], code_bytes)
        self.assertEqual(len(result['sizes']['compressed']), 5)
        self.check_same_as_native(['photo.png', 'anim.gif'],
                                  {'name': 'flash', 'compress': True, 'cycles': '0',
                                   'target': 'avr', 'still-ms': '40'})

    def test_names_checked_as_the_program_checks_them(self):
        for name in ('int', '9lives', '_Hidden', 'a-b'):
            result = PAGE.convert(pictures('photo.png'), {'name': name})
            _, stderr, _, _ = native('grayframe-embed', ['--name', name, 'photo.png'], ['photo.png'])
            self.assertEqual(result['messages'], [stderr.rstrip('\n')])
            self.assertEqual(PAGE.call('nameProblem', name), stderr.rstrip('\n'))
        self.assertEqual(PAGE.call('nameProblem', 'logo_2'), '')

    def test_stopping_and_going_on(self):
        stopped = PAGE.script('''
            const converter = new c.Converter();
            const running = converter.convert(files(args[0]), {name: 'big'});
            converter.stop();
            const why = await running.then(() => 'finished', (error) => error.stopped);
            const again = await converter.convert(files(args[0]), {name: 'big'});
            return [why, again.command];''', None, [browser.encoded(pictures('photo.jpg'))])
        self.assertEqual(stopped, [True, 'grayframe-embed --name big photo.jpg'])

    def test_a_bad_file_leaves_the_others(self):
        result = PAGE.convert(pictures('photo.png', 'bad.png', 'clip.mp4', 'anim.gif'),
                              {'name': 'mixed'})
        _, bad, _, _ = native('grayframe-embed', ['--name', 'x', 'bad.png'], ['bad.png'])
        self.assertEqual(len(result['messages']), 2)
        self.assertIn(bad.rstrip('\n'), result['messages'])
        video = [m for m in result['messages'] if 'clip.mp4' in m]
        self.assertTrue(video and 'grayframe-embed' in video[0] and 'video' in video[0])
        self.assertEqual(sorted(result['left']), ['bad.png', 'clip.mp4'])
        _, _, made, _ = native('grayframe-embed', ['--name', 'mixed', 'photo.png', 'anim.gif'],
                               ['photo.png', 'anim.gif'])
        self.assertEqual(result['files']['mixed.c'], made['mixed.c'])


class OpenSet(unittest.TestCase):
    """Sets, headers and raw streams read back to the frames they hold."""

    def test_every_kind_of_file(self):
        names = ['photo.png', 'anim.gif']
        _, _, plain, _ = native('grayframe-embed', ['--name', 'plain', '--nibbles', 'low-first', *names], names)
        frames = set_frames(plain['plain.c'])
        cases = [
            ([('plain.c', plain['plain.c']), ('plain.h', plain['plain.h'])], 'low-first'),
            ([('raw.raw', frames)], 'high-first'),
        ]
        for extra in (['--compress'], ['--compress', '--target', 'avr'], ['--target', 'avr']):
            _, _, made, _ = native('grayframe-embed', ['--name', 'kind', '--nibbles', 'low-first',
                                                       *extra, *names], names)
            cases.append(([('kind.c', made['kind.c'])], 'low-first'))
        for files, nibbles in cases:
            opened = PAGE.open_set([{'name': n, 'bytes': b} for n, b in files])
            self.assertEqual(opened['messages'], [], files[0][0])
            self.assertEqual(len(opened['sets']), 1)
            self.assertEqual(b''.join(opened['sets'][0]['frames']), frames, files[0][0])
            self.assertEqual(opened['sets'][0]['nibbles'], nibbles)
        _, _, own, _ = native('grayframe', ['-i', 'photo.png'], ['photo.png'])
        raw = native('grayframe', ['-printdata', '-i', 'photo.png'], ['photo.png'])[3]
        opened = PAGE.open_set([{'name': 'photo.png_out.h', 'bytes': own['photo.png_out.h']}])
        self.assertEqual(b''.join(opened['sets'][0]['frames']), raw)
        opened = PAGE.open_set([{'name': 'cut.raw', 'bytes': frames[:5000]},
                                {'name': 'lone.h', 'bytes': plain['plain.h']}])
        self.assertEqual(len(opened['messages']), 2)


class ThroughThePage(unittest.TestCase):
    """The page as a user works it: pick, change an option, download; open a set."""

    def test_pick_change_download_and_point(self):
        PAGE.load()
        PAGE.pick('pick', [os.path.join(PICTURES, n) for n in ('photo.png', 'anim.gif')])
        PAGE.wait_ready()
        self.assertEqual(PAGE.value('command'), 'grayframe-embed --name photo photo.png anim.gif')
        PAGE.choose('dither', 'ordered')
        PAGE.wait_ready('--dither ordered')
        command = PAGE.value('command')
        self.assertEqual(command, 'grayframe-embed --name photo --dither ordered photo.png anim.gif')
        _, _, made, _ = native('grayframe-embed', shlex.split(command)[1:], ['photo.png', 'anim.gif'])
        self.assertEqual(PAGE.download('photo.c'), made['photo.c'])
        frames = set_frames(made['photo.c'])
        self.assertEqual(PAGE.download('photo.raw'), frames)
        # The preview of the picture's frame, and a pixel pointed at.
        levels = PAGE.canvas_levels('#pictures li:first-child canvas.frame')
        self.assertEqual(levels, browser.levels(frames[:4080]))
        self.assertEqual(PAGE.point('#pictures li:first-child canvas.frame', 37, 52),
                         f'x 37, y 52, level {levels[52 * 102 + 37]}')
        PAGE.click('button[aria-label="Move anim.gif up"]')
        PAGE.wait_ready('anim.gif photo.png')
        PAGE.click('button[aria-label="Remove photo.png"]')
        PAGE.wait_ready('--name anim ')
        self.assertEqual(PAGE.value('command'), 'grayframe-embed --name anim --dither ordered anim.gif')

    def test_open_a_compressed_set(self):
        PAGE.load()
        names = ['photo.png', 'anim.gif']
        _, _, made, _ = native('grayframe-embed', ['--name', 'walk', '--compress', *names], names)
        _, _, plain, _ = native('grayframe-embed', ['--name', 'walk', *names], names)
        folder = tempfile.mkdtemp(dir=ARGS.scratch)
        for name in ('walk.c', 'walk.h'):
            with open(os.path.join(folder, name), 'wb') as out:
                out.write(made[name])
        PAGE.pick('open', [os.path.join(folder, 'walk.c'), os.path.join(folder, 'walk.h')])
        PAGE.wait_opened()
        frames = set_frames(plain['walk.c'])
        canvases = '#opened .strip canvas.frame'
        self.assertEqual(PAGE.count(canvases), 4)
        for k in range(4):
            self.assertEqual(PAGE.canvas_levels(canvases, k), browser.levels(frames[k * 4080:(k + 1) * 4080]))
        self.assertEqual(PAGE.count('#opened .player canvas'), 1)

    def test_only_its_own_files_are_loaded(self):
        PAGE.load()
        PAGE.pick('pick', [os.path.join(PICTURES, 'photo.png')])
        PAGE.wait_ready()
        self.assertEqual(PAGE.foreign_requests(), [])


@unittest.skipUnless(shutil.which('firefox-esr'), 'firefox-esr is not installed')
class Firefox(unittest.TestCase):
    def test_screenshot_of_the_loaded_page(self):
        shot = browser.firefox_screenshot(PAGE.url, ARGS.scratch)
        with open(shot, 'rb') as image:
            head = image.read(24)
        self.assertEqual(head[:8], b'\x89PNG\r\n\x1a\n')
        self.assertGreater(int.from_bytes(head[16:20], 'big'), 400)
        self.assertGreater(os.path.getsize(shot), 10000)

    def test_the_same_bytes_as_in_chromium(self):
        firefox = browser.Firefox(ARGS.scratch)
        try:
            firefox.command('WebDriver:Navigate', {'url': PAGE.url})
            Converter.check_same_as_native(
                self, ['photo.png', 'anim.gif'], {'name': 'fox', 'compress': True, 'dither': 'ordered'},
                lambda files, options: browser.convert(firefox, files, options))
        finally:
            firefox.close()


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--page', required=True, help='the folder make web fills')
    parser.add_argument('--native', required=True, help='the folder of the native programs')
    ARGS, rest = parser.parse_known_args()
    ARGS.page = os.path.abspath(ARGS.page)
    ARGS.native = os.path.abspath(ARGS.native)
    with tempfile.TemporaryDirectory(prefix='grayframe-web-') as scratch:
        ARGS.scratch = scratch
        unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == '__main__':
    main()
