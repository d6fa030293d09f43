# SPDX-License-Identifier: Apache-2.0
"""The page served from 127.0.0.1 and driven in headless Chromium, for the page's tests
and its benchmark."""
import base64
import json
import os
import socket
import subprocess
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                  '--disable-component-update', '--disable-sync', '--no-first-run',
                  '--window-size=1280,1600']
WAIT = 20  # seconds: the longest any step may take


def read(path):
    with open(path, 'rb') as source:
        return source.read()


def levels(frame):
    """A frame's levels, one a pixel, row by row (the left pixel in the high nibble)."""
    out = []
    for byte in frame:
        out += [byte >> 4, byte & 15]
    return out


def free_port():
    with socket.socket() as probe:
        probe.bind(('127.0.0.1', 0))
        return probe.getsockname()[1]


def serve(folder):
    """python3 -m http.server on folder at a free port: (process, address)."""
    port = free_port()
    server = subprocess.Popen(['python3', '-m', 'http.server', '--bind', '127.0.0.1',
                               '--directory', folder, str(port)],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(('127.0.0.1', port), timeout=0.2).close()
            break
        except OSError:
            time.sleep(0.05)
    return server, f'http://127.0.0.1:{port}/'


def chromium(scratch):
    options = webdriver.ChromeOptions()
    for flag in CHROMIUM_FLAGS + ['--user-data-dir=' + tempfile.mkdtemp(dir=scratch)]:
        options.add_argument(flag)
    options.set_capability('goog:loggingPrefs', {'performance': 'ALL'})
    driver = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
    driver.set_script_timeout(WAIT)
    return driver


def firefox_screenshot(url, scratch):
    """A headless firefox-esr's screenshot of the page at url: the PNG's path."""
    profile = tempfile.mkdtemp(dir=scratch)
    shot = os.path.join(scratch, 'firefox.png')
    subprocess.run(['firefox-esr', '--headless', '--no-remote', '--profile', profile,
                    '--window-size=1280,1000', '--screenshot', shot, url],
                   env=dict(os.environ, HOME=profile, MOZ_CRASHREPORTER_DISABLE='1'),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=WAIT,
                   check=True)
    return shot


# The page's converter.js, loaded in the page, called with JSON-able arguments; bytes
# cross as base64.
CALL = '''
const [script, args, done] = [arguments[0], arguments[1], arguments[arguments.length - 1]];
const bytes = (b64) => Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
const text = (u8) => { let s = ''; for (let i = 0; i < u8.length; i += 8192)
    s += String.fromCharCode.apply(null, u8.subarray(i, i + 8192)); return btoa(s); };
const files = (list) => list.map((f) => ({name: f.name, bytes: bytes(f.bytes)}));
import('./converter.js').then(async (c) => {
    try { done({value: await (async () => { %s })()}); }
    catch (error) { done({error: String(error && error.stack || error)}); }
});
'''


class Page:
    def __init__(self, folder, scratch):
        self.server, self.url = serve(folder)
        self.url += 'index.html'
        self.driver = chromium(scratch)
        self.load()

    def close(self):
        self.driver.quit()
        self.server.terminate()
        self.server.wait()

    def load(self):
        self.driver.get(self.url)
        self.wait_for('document.getElementById("loading").textContent === ""')

    def wait_for(self, condition, timeout=WAIT):
        WebDriverWait(self.driver, timeout, poll_frequency=0.02).until(
            lambda d: d.execute_script('return ' + condition))

    def script(self, body, *args):
        answer = self.driver.execute_async_script(CALL % body, *args)
        if 'error' in answer:
            raise AssertionError('in the page: ' + answer['error'])
        return answer['value']

    @staticmethod
    def encoded(files):
        return [{'name': f['name'], 'bytes': base64.b64encode(f['bytes']).decode()} for f in files]

    def convert(self, files, options):
        value = self.script('''
            const r = await c.convert(files(args[0]), args[1]);
            return {files: Object.fromEntries(Object.entries(r.files).map(([n, b]) => [n, text(b)])),
                    frames: r.frames.map((f) => text(f.bytes)),
                    frames_info: r.frames.map((f) => ({picture: f.picture, durationMs: f.durationMs,
                                                       label: f.label})),
                    messages: r.messages, command: r.command, cmake: r.cmake, left: r.left,
                    sizes: r.sizes};''', None, [self.encoded(files), options])
        value['files'] = {n: base64.b64decode(b) for n, b in value['files'].items()}
        value['frames'] = [base64.b64decode(b) for b in value['frames']]
        return value

    def open_set(self, files):
        value = self.script('''
            const r = await c.openSet(files(args[0]));
            return {messages: r.messages, sets: r.sets.map((s) => ({name: s.name, kind: s.kind,
                    nibbles: s.nibbles, durations: s.durations, frames: s.frames.map(text)}))};''',
                            None, [self.encoded(files)])
        for found in value['sets']:
            found['frames'] = [base64.b64decode(b) for b in found['frames']]
        return value

    def call(self, function, *args):
        return self.script(f'return c.{function}(...args[0]);', None, [list(args)])

    # ---- the page as a user works it ----

    def pick(self, input_id, paths):
        self.driver.find_element(By.ID, input_id).send_keys('\n'.join(paths))

    def wait_ready(self, command_has=''):
        self.wait_for('document.body.dataset.state === "ready" && document.getElementById('
                      f'"command").textContent.includes({json.dumps(command_has)})')

    def wait_opened(self):
        self.wait_for('document.body.dataset.opening === "no"')

    def value(self, element_id):
        return self.driver.find_element(By.ID, element_id).text

    def choose(self, select_id, value):
        Select(self.driver.find_element(By.ID, select_id)).select_by_value(value)

    def click(self, selector):
        self.driver.find_element(By.CSS_SELECTOR, selector).click()

    def count(self, selector):
        return len(self.driver.find_elements(By.CSS_SELECTOR, selector))

    def download(self, name):
        link = self.driver.find_element(By.CSS_SELECTOR, f'#downloads a[download="{name}"]')
        encoded = self.driver.execute_async_script('''
            const done = arguments[arguments.length - 1];
            fetch(arguments[0]).then((r) => r.arrayBuffer()).then((b) => {
                const u8 = new Uint8Array(b); let s = '';
                for (let i = 0; i < u8.length; i += 8192)
                    s += String.fromCharCode.apply(null, u8.subarray(i, i + 8192));
                done(btoa(s)); });''', link.get_attribute('href'))
        return base64.b64decode(encoded)

    def canvas_levels(self, selector, index=0):
        """The levels a frame's canvas shows (gray / 17), or None where a gray is none."""
        return self.driver.execute_script('''
            const canvas = document.querySelectorAll(arguments[0])[arguments[1]];
            const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
            const out = [];
            for (let i = 0; i < data.length; i += 4)
                out.push(data[i] === data[i + 1] && data[i] === data[i + 2] && data[i] % 17 === 0
                         ? data[i] / 17 : null);
            return out;''', selector, index)

    def point(self, selector, x, y):
        """Points at pixel (x, y) of the canvas: what the page says of it."""
        canvas = self.driver.find_element(By.CSS_SELECTOR, selector)
        size = canvas.size
        ActionChains(self.driver).move_to_element_with_offset(
            canvas, int((x + 0.5) * size['width'] / 102 - size['width'] / 2),
            int((y + 0.5) * size['height'] / 80 - size['height'] / 2)).perform()
        readout = canvas.find_element(By.XPATH, './ancestor::*[contains(@class, "frames")]'
                                                '//output[contains(@class, "readout")]')
        return readout.text.split(': ', 1)[-1]

    def requests(self):
        """Every URL the browser asked for since the last call, the page's and its
        worker's."""
        urls = []
        for entry in self.driver.get_log('performance'):
            message = json.loads(entry['message'])['message']
            if message['method'] == 'Network.requestWillBeSent':
                urls.append(message['params']['request']['url'])
        return urls

    def foreign_requests(self):
        """The requests since the last call that are not for the page's own files."""
        origin = self.url.rsplit('/', 1)[0] + '/'
        return [u for u in self.requests()
                if u.split(':', 1)[0] in ('http', 'https', 'ws', 'wss', 'ftp')
                and not u.startswith(origin)]

    def first_frame(self, path):
        """Seconds from picking the picture at path to its first frame on screen."""
        self.driver.execute_script('performance.clearMarks()')
        self.pick('pick', [path])
        self.wait_for("performance.getEntriesByName('grayframe-frames').length > 0")
        return self.driver.execute_script(
            "const at = (name) => performance.getEntriesByName(name)[0].startTime;"
            "return (at('grayframe-frames') - at('grayframe-files')) / 1000;")
