#!/usr/bin/env python3
"""The device's page in a real browser: headless Chromium, driven by Selenium, on the headless
device booted as ./run device --web boots it.

usage: web_e2e.py <source root> <build folder> [unittest arguments]
Needs WINEPREFIX and DISPLAY as the test runner sets them.
"""
import http.server
import os
import re
import socket
import sys
import tempfile
import threading
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'console'))
import console_e2e  # noqa: E402  the headless device and its console
from console_e2e import HANG_S, Device, until  # noqa: E402

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.options import Options  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

MENU_TV, FRAME = console_e2e.MENU_TV, console_e2e.FRAME
# A grid over the screen, to hold the page's canvas against the device's own screenshot.
GRID = [(x, y) for x in range(20, 640, 40) for y in range(15, 480, 30)]


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def browser():
    options = Options()
    for arg in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                '--disable-background-networking', '--disable-component-update', '--disable-sync',
                '--window-size=1200,950', '--user-data-dir=' + tempfile.mkdtemp(prefix='device-chromium-')):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


# A page of another program on 127.0.0.1 (same-site to the browser, which sends it the device's
# cookie) tries a snapshot's delete, load and save: no-cors fetches, then a text/plain form. Its
# title tells what the fetches got once the form's answer came.
ATTACK = """<form id=f method=post enctype=text/plain target=sink action="ORIGIN/api/do">
<input name='{"command": "snapshot delete NAME", "x": "' value='"}'></form><iframe name=sink id=sink></iframe><script>
const tries = ['snapshot delete NAME', 'snapshot load NAME', 'snapshot save NAME'].map(command =>
  fetch('ORIGIN/api/do', {method: 'POST', mode: 'no-cors', credentials: 'include', headers: {'Content-Type': 'text/plain'},
                          body: JSON.stringify({command})}).then(r => r.type + ' ' + r.status, e => 'error ' + e));
Promise.all(tries).then(got => { document.getElementById('sink').onload = () => { document.title = 'tried: ' + got; };
                                 document.getElementById('f').submit(); });
</script>"""


def other_port_page(case, origin, snapshot):
    """The address of that page, served on a port of its own until the test ends."""
    body = ATTACK.replace("ORIGIN", origin).replace("NAME", snapshot).encode()

    class Page(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            self.send_response(200)
            self.send_header("Content-Type", "text/html")
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Page)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    case.addCleanup(server.server_close)
    case.addCleanup(server.shutdown)
    return "http://127.0.0.1:%d/" % server.server_address[1]


class WebDevice(Device):
    """The headless device with its page; address is the one it prints, token and all."""

    def __init__(self, logs):
        super().__init__(logs, WEB=str(free_port()))
        out = os.path.join(logs, 'device.out')
        found = until(lambda: re.search(r'http://127\.0\.0\.1:\d+/\?token=\w+', console_e2e.read(out)), 4 * HANG_S)
        self.address = found.group(0) if found else None

    def screen(self, folder):
        """The device's own screenshot, as RGB values at the grid's points."""
        from PIL import Image
        path = os.path.join(folder, 'device.png')
        self.ok('shot', path)
        with Image.open(path) as image:
            rgb = image.convert('RGB')
            return [rgb.getpixel(p) for p in GRID]


class Page:
    def __init__(self, driver):
        self.driver = driver

    def canvas(self):
        found = self.driver.find_elements(By.CSS_SELECTOR, '#screen canvas')
        return found[0] if found else None

    def pixels(self):
        return self.driver.execute_script(
            'const c = document.querySelector("#screen canvas"); if (!c || c.width < 640) return null;'
            'const d = c.getContext("2d").getImageData(0, 0, 640, 480).data;'
            'return arguments[0].map(([x, y]) => { const i = 4 * (y * 640 + x); return [d[i], d[i+1], d[i+2]]; });',
            GRID)

    def shows(self, expected):
        """True when the canvas shows what the device's screen shows, up to a few stray points
        (the moving test picture's frame counter)."""
        got = self.pixels()
        if not got:
            return False
        off = sum(1 for a, b in zip(got, expected) if max(abs(p - q) for p, q in zip(a, b)) > 24)
        return off <= len(GRID) // 20

    def touch(self, x, y):
        canvas = self.canvas()
        ActionChains(self.driver).move_to_element_with_offset(canvas, x - canvas.size['width'] // 2,
                                                              y - canvas.size['height'] // 2) \
            .click_and_hold().pause(0.08).release().perform()

    def text(self, element_id):
        return self.driver.find_element(By.ID, element_id).text

    def press(self, label):
        self.driver.find_element(By.XPATH, '//button[text()="%s"]' % label).click()


class WebTest(unittest.TestCase):
    def test_the_page_shows_touches_and_breaks_the_device(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        d = WebDevice(folder.name)
        self.addCleanup(d.stop)
        self.assertTrue(d.address, console_e2e.read(os.path.join(folder.name, 'device.out')))
        self.assertTrue(d.up(), d.state())

        refused = urllib.request.Request(d.address.split('?')[0])
        with self.assertRaises(urllib.error.HTTPError) as answer:
            urllib.request.urlopen(refused, timeout=HANG_S)
        self.assertEqual(answer.exception.code, 403)
        self.assertIn('refused', answer.exception.read().decode())

        driver = browser()
        self.addCleanup(driver.quit)
        page = Page(driver)
        driver.get(d.address)
        self.assertTrue(until(lambda: page.shows(d.screen(folder.name))), 'the page never showed the menu')
        origin = d.address.split('/?')[0]
        self.assertEqual(driver.current_url, origin + '/')   # the token left the address

        d.ok('snapshot', 'save', 'web-e2e')
        self.addCleanup(d.console, 'snapshot', 'delete', 'web-e2e')
        snapshots, kept = d.ok('snapshot', 'list'), os.stat(os.path.join(console_e2e.HOME, 'snapshots', 'web-e2e')).st_ino
        console = lambda: console_e2e.read(os.path.join(console_e2e.PREFIX, '.device-console')).split()[1]
        before = console()   # a load would end this console and boot the device with another
        driver.get(other_port_page(self, origin, 'web-e2e'))
        self.assertTrue(until(lambda: driver.title.startswith('tried')), driver.title)
        # Its four tries reached the device's page server, and each was refused.
        out = os.path.join(folder.name, 'device.out')
        self.assertTrue(until(lambda: console_e2e.read(out).count('[web] refused a change') >= 4), console_e2e.read(out)[-2000:])
        print('the other port\'s page %s; snapshots before and after:\n%s' % (driver.title, snapshots), file=sys.stderr)
        self.assertEqual(d.ok('snapshot', 'list'), snapshots)
        self.assertEqual(os.stat(os.path.join(console_e2e.HOME, 'snapshots', 'web-e2e')).st_ino, kept)   # a save makes it anew
        driver.get(origin)   # back, from the cookie alone
        self.assertTrue(until(lambda: page.shows(d.screen(folder.name))), 'the page never showed the menu again')

        page.touch(*MENU_TV)
        self.assertTrue(until(lambda: 'viewer: window (' in page.text('state')), page.text('state'))
        self.assertTrue(until(lambda: page.shows(d.screen(folder.name))), 'the page never showed the viewer')

        page.press('card out')
        self.assertTrue(until(lambda: 'card: out' in page.text('state')), page.text('state'))
        page.press('card in')
        self.assertTrue(until(lambda: 'card: in' in page.text('state')), page.text('state'))

        shown = lambda: '14/66 (view request: full screen)' in page.text('timeline')   # with its name
        self.assertTrue(console_e2e.tap_until(lambda: page.touch(*FRAME), shown), page.text('timeline'))
        self.assertEqual(console(), before, 'the device was loaded from a snapshot')


if __name__ == '__main__':
    console_e2e.ROOT, console_e2e.BUILD = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
