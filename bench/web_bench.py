#!/usr/bin/env python3
"""What a person feels of the device's page: the time from a click on the page's canvas to the
touch-down the device's agent sees, and the frames per second of the moving test picture as the
page receives them, with the device playing TV. Prints two lines for ./run bench's table.

usage: web_bench.py <source root> <build folder>   (WINEPREFIX and DISPLAY as ./run bench sets them)
"""
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.abspath(sys.argv[1])
sys.path.insert(0, os.path.join(ROOT, 'tests', 'e2e', 'web'))
import web_e2e  # noqa: E402
from web_e2e import Page, WebDevice, browser, console_e2e, until  # noqa: E402

QUIET_POINT = (380, 30)     # the viewer's skin above every button: a touch-down that commands nothing
PICTURE = (60, 140, 300, 220)   # inside the picture in the viewer's frame: x, y, width, height
CLICKS = 15


class Touches:
    """The console's watch, keeping the wall-clock time of every touch-down it reports."""

    def __init__(self):
        self.downs = []
        self.process = subprocess.Popen(
            [sys.executable, os.path.join(ROOT, 'devicesim', 'console', 'console.py'), 'client', '--home',
             console_e2e.HOME, '--prefix', console_e2e.PREFIX, 'watch'], stdout=subprocess.PIPE, text=True)
        threading.Thread(target=self.read, daemon=True).start()

    def read(self):
        for line in self.process.stdout:
            words = line.split()
            if words[1:3] == ['touch', 'down']:
                h, m, s = words[0].split(':')
                day = time.time() - time.time() % 86400   # the console's clock is local; ours too (UTC here)
                local = int(h) * 3600 + int(m) * 60 + float(s) - time.timezone
                self.downs.append(day + local)

    def stop(self):
        self.process.kill()


def click_delays(page, touches):
    """Milliseconds from each canvas mouse-down, by the page's clock, to the device's touch-down."""
    page.driver.execute_script(
        'window.downs = []; document.querySelector("#screen canvas")'
        '.addEventListener("mousedown", () => window.downs.push(Date.now()), true);')
    for _ in range(CLICKS):
        seen = len(touches.downs)
        page.touch(*QUIET_POINT)
        until(lambda: len(touches.downs) > seen, 5)
        time.sleep(0.3)   # apart, so the touches are not double-clicks
    clicked = page.driver.execute_script('return window.downs') or []
    return [(seen - at / 1000) * 1000 for at, seen in zip(clicked, touches.downs[-len(clicked):])]


def frames_per_second(page, seconds=5):
    """Distinct pictures the page's canvas showed in the picture's rectangle, per second."""
    return page.driver.execute_async_script('''
        const [x, y, w, h, seconds, done] = arguments;
        const c = document.querySelector("#screen canvas").getContext("2d");
        let last = null, frames = 0;
        const end = performance.now() + seconds * 1000;
        function look() {
            const d = c.getImageData(x, y, w, h).data;
            let sum = 0;
            for (let i = 0; i < d.length; i += 28) sum = (sum * 31 + d[i]) >>> 0;
            if (sum !== last) { frames++; last = sum; }
            if (performance.now() < end) requestAnimationFrame(look); else done(frames / seconds);
        }
        look();''', *PICTURE, seconds)


def main():
    console_e2e.ROOT, console_e2e.BUILD = ROOT, os.path.abspath(sys.argv[2])
    folder = tempfile.mkdtemp(prefix='device-web-bench-')
    device = WebDevice(folder)
    driver = None
    try:
        if not device.address or not device.up():
            print('the device with its page did not come up (see %s)' % folder, file=sys.stderr)
            return 1
        driver = browser()
        driver.set_script_timeout(30)
        page = Page(driver)
        driver.get(device.address)
        until(lambda: page.shows(device.screen(folder)), 30)
        device.tap_until(web_e2e.MENU_TV, lambda: 'viewer: window (' in device.state())
        touches = Touches()
        delays = click_delays(page, touches)
        touches.stop()
        fps = frames_per_second(page)
        print('%-58s %s' % ('page: click on the canvas -> device touch-down (ms)',
                            'median %.0f, worst %.0f over %d' % (statistics.median(delays), max(delays), len(delays))
                            if delays else 'no touch seen'))
        print('%-58s %.1f' % ('page: moving picture received (frames/s, TV playing)', fps))
        return 0
    finally:
        if driver:
            driver.quit()
        device.stop()


if __name__ == '__main__':
    sys.exit(main())
