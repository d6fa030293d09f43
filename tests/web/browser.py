# SPDX-License-Identifier: Apache-2.0
"""The page served from 127.0.0.1 and driven in headless Chromium, for the page's tests
and its benchmark."""
import base64
import http.server
import json
import os
import socket
import subprocess
import tempfile
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

CHROMIUM_FLAGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                  '--disable-component-update', '--disable-sync', '--no-first-run',
                  '--window-size=1280,1600', '--disable-default-apps', '--no-pings',
                  '--disable-domain-reliability', '--disable-client-side-phishing-detection',
                  '--disable-features=AutofillServerCommunication,OptimizationHints,Translate,'
                  'MediaRouter,NetworkTimeServiceQuerying,SignInProfileCreation',
                  '--homepage=about:blank', '--disable-search-engine-choice-screen']
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


class Recorder:
    """A proxy that every request of the browser goes through (its workers' too, and
    those for 127.0.0.1): it notes each URL, passes on those for origin and refuses the
    others."""

    def __init__(self, origin):
        recorder = self
        self.urls = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def refuse(self, url):
                recorder.urls.append(url)
                try:
                    self.send_error(502)
                except OSError:
                    pass

            def do_GET(self):
                if not self.path.startswith(origin):
                    return self.refuse(self.path)
                recorder.urls.append(self.path)
                try:
                    answer = DIRECT.open(self.path, timeout=WAIT)
                except urllib.error.HTTPError as error:
                    answer = error
                body = answer.read()
                self.send_response(answer.status)
                self.send_header('Content-Type', answer.headers.get('Content-Type', ''))
                self.send_header('Content-Length', str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def do_CONNECT(self):
                self.refuse('https://' + self.path)

            do_POST = do_PUT = do_HEAD = do_DELETE = do_OPTIONS = \
                lambda self: self.refuse(self.path)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
        self.address = f'http://127.0.0.1:{self.server.server_address[1]}'
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def taken(self):
        """The URLs asked for since the last call."""
        urls, self.urls = self.urls, []
        return urls

    def close(self):
        self.server.shutdown()
        self.server.server_close()


DIRECT = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def chromium(scratch, proxy):
    options = webdriver.ChromeOptions()
    for flag in CHROMIUM_FLAGS + ['--user-data-dir=' + tempfile.mkdtemp(dir=scratch),
                                  '--proxy-server=' + proxy, '--proxy-bypass-list=<-loopback>']:
        options.add_argument(flag)
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


class Firefox:
    """Headless firefox-esr driven through its own remote protocol, Marionette (Debian
    has no WebDriver for Firefox): enough to open a page and run a script in it."""

    def __init__(self, scratch):
        profile = tempfile.mkdtemp(dir=scratch)
        port = free_port()
        with open(os.path.join(profile, 'user.js'), 'w') as prefs:
            prefs.write(f'user_pref("marionette.port", {port});\n')
        self.process = subprocess.Popen(
            ['firefox-esr', '--headless', '--marionette', '--no-remote', '--profile', profile],
            env=dict(os.environ, HOME=profile, MOZ_CRASHREPORTER_DISABLE='1'),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + WAIT
        while True:
            try:
                self.socket = socket.create_connection(('127.0.0.1', port), timeout=WAIT)
                break
            except OSError:
                if time.monotonic() > deadline:
                    self.process.kill()
                    raise
                time.sleep(0.1)
        self.stream = self.socket.makefile('rb')
        self.sent = 0
        self.receive()  # its greeting
        self.command('WebDriver:NewSession', {})

    def receive(self):
        length = b''
        while not length.endswith(b':'):
            length += self.stream.read(1)
        return json.loads(self.stream.read(int(length[:-1])))

    def command(self, name, parameters):
        self.sent += 1
        message = json.dumps([0, self.sent, name, parameters]).encode()
        self.socket.sendall(str(len(message)).encode() + b':' + message)
        _, _, error, result = self.receive()
        if error:
            raise AssertionError(f'firefox: {name}: {error}')
        return result

    def execute_async_script(self, script, *args):
        return self.command('WebDriver:ExecuteAsyncScript',
                            {'script': script, 'args': list(args), 'scriptTimeout': WAIT * 1000}
                            )['value']

    def close(self):
        self.socket.close()
        self.process.terminate()
        self.process.wait()


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


def call(browser, body, *args):
    """Runs body (a function's body, converter.js as c) in the page browser shows."""
    answer = browser.execute_async_script(CALL % body, *args)
    if 'error' in answer:
        raise AssertionError('in the page: ' + answer['error'])
    return answer['value']


def encoded(files):
    return [{'name': f['name'], 'bytes': base64.b64encode(f['bytes']).decode()} for f in files]


CONVERT = '''
    const r = await c.convert(files(args[0]), args[1]);
    return {files: Object.fromEntries(Object.entries(r.files).map(([n, b]) => [n, text(b)])),
            frames: r.frames.map((f) => text(f.bytes)),
            frames_info: r.frames.map((f) => ({picture: f.picture, durationMs: f.durationMs,
                                               label: f.label})),
            messages: r.messages, command: r.command, cmake: r.cmake, left: r.left,
            sizes: r.sizes};'''


def convert(browser, files, options):
    """converter.js's convert() in the page browser shows, bytes as bytes."""
    value = call(browser, CONVERT, None, [encoded(files), options])
    value['files'] = {n: base64.b64decode(b) for n, b in value['files'].items()}
    value['frames'] = [base64.b64decode(b) for b in value['frames']]
    return value


class Page:
    def __init__(self, folder, scratch):
        self.server, origin = serve(folder)
        self.url = origin + 'index.html'
        self.recorder = Recorder(origin)
        self.driver = chromium(scratch, self.recorder.address)
        self.load()

    def close(self):
        self.driver.quit()
        self.recorder.close()
        self.server.terminate()
        self.server.wait()

    def load(self):
        self.driver.get(self.url)
        self.wait_for('document.getElementById("loading").textContent === ""')

    def wait_for(self, condition, timeout=WAIT):
        WebDriverWait(self.driver, timeout, poll_frequency=0.02).until(
            lambda d: d.execute_script('return ' + condition))

    def script(self, body, *args):
        return call(self.driver, body, *args)

    def convert(self, files, options):
        return convert(self.driver, files, options)

    def open_set(self, files):
        value = self.script('''
            const r = await c.openSet(files(args[0]));
            return {messages: r.messages, sets: r.sets.map((s) => ({name: s.name, kind: s.kind,
                    nibbles: s.nibbles, durations: s.durations, frames: s.frames.map(text)}))};''',
                            None, [encoded(files)])
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
        answer = self.driver.execute_async_script('''
            const done = arguments[arguments.length - 1];
            fetch(arguments[0]).then((r) => r.arrayBuffer()).then((b) => {
                const u8 = new Uint8Array(b); let s = '';
                for (let i = 0; i < u8.length; i += 8192)
                    s += String.fromCharCode.apply(null, u8.subarray(i, i + 8192));
                done(btoa(s)); });''', link.get_attribute('href'))
        return base64.b64decode(answer)

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
        workers'."""
        return self.recorder.taken()

    # Chromium's own services, which it calls whatever page it shows: its updates, its
    # sign-in and the search engine Debian sets (connected to ahead of a search).
    BROWSER_HOSTS = ('update.googleapis.com', 'clients2.google.com', 'accounts.google.com',
                     'start.duckduckgo.com')

    def foreign_requests(self):
        """The requests since the last call that are not for the page's own files."""
        origin = self.url.rsplit('/', 1)[0] + '/'
        return [u for u in self.requests() if not u.startswith(origin)
                and urllib.parse.urlsplit(u).hostname not in self.BROWSER_HOSTS]

    def first_frame(self, path):
        """Seconds from picking the picture at path to its first frame on screen."""
        self.driver.execute_script('performance.clearMarks()')
        self.pick('pick', [path])
        self.wait_for("performance.getEntriesByName('grayframe-frames').length > 0")
        return self.driver.execute_script(
            "const at = (name) => performance.getEntriesByName(name)[0].startTime;"
            "return (at('grayframe-frames') - at('grayframe-files')) / 1000;")
