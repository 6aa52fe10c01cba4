#!/usr/bin/env python3
"""The device's page server against a fake console, no device: who may ask it what, bad headers,
closed tabs, the screen's helpers, and in headless Chromium a page of another 127.0.0.1 port
trying snapshots with the cookie, beside a second device's page.

usage: web_guards.py <source root> [unittest arguments]
"""
import http.client
import os
import re
import secrets
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

ROOT = sys.argv[1]
sys.path.insert(0, os.path.join(ROOT, "devicesim", "console"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from handshake import proof  # noqa: E402
from web_e2e import HANG_S, browser, free_port, other_port_page, until  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402


class FakeConsole:
    """The console's door and handshake; answers state and snapshot commands, floods each watch."""

    def __init__(self, prefix):
        self.token, self.heard, self.watches, self.snapshots = secrets.token_hex(16), [], set(), {"keep"}
        self.flood, self.sent = False, {}
        listener = socket.create_server(("127.0.0.1", 0))
        with open(os.path.join(prefix, ".device-console"), "w") as f:
            f.write("%d 1 %s\n" % (listener.getsockname()[1], self.token))
        threading.Thread(target=lambda: [threading.Thread(target=self.serve, args=(listener.accept()[0],),
                                                          daemon=True).start() for _ in iter(int, 1)], daemon=True).start()

    def serve(self, conn):
        f = conn.makefile("r")
        nonce = f.readline().split()[1]
        conn.sendall(("welcome %s\n" % proof(self.token, "console", nonce)).encode())
        words = f.readline().split()
        self.heard.append(" ".join(words))
        if words == ["watch"]:
            self.watches.add(conn)
            self.sent[conn] = 0
            try:
                while self.flood:   # as fast as a busy device: a tab that stops reading falls behind
                    self.sent[conn] += conn.send(("12:00:00.000 request 14/66 %s\n" % ("x" * 200)).encode() * 50)
                conn.sendall(b"12:00:00.000 request 14/66\n")
                conn.recv(1)   # until the page server lets go of it
            except OSError:
                pass
            self.watches.discard(conn)
            return conn.close()
        elif words[:2] == ["snapshot", "save"] or words[:2] == ["snapshot", "delete"]:
            (self.snapshots.add if words[1] == "save" else self.snapshots.discard)(words[2])
        conn.sendall(("".join("| %s\n" % s for s in sorted(self.snapshots)) + "ok\n").encode())
        conn.close()


class Page:
    """web.py on a fake console; display: where its x11vnc looks."""

    def __init__(self, case, display=":0.9", **env):
        folder = tempfile.TemporaryDirectory(prefix="web-guards-")
        case.addCleanup(folder.cleanup)
        folder = folder.name
        self.console, self.port, self.err = FakeConsole(folder), free_port(), os.path.join(folder, "err")
        with open(self.err, "w") as err:
            self.process = subprocess.Popen([sys.executable, os.path.join(ROOT, "devicesim", "web", "web.py"), "--prefix",
                                             folder, "--display", display, "--port", str(self.port), "--logs", folder],
                                            stderr=err, env=dict(os.environ, **env))
        case.addCleanup(self.process.wait)
        case.addCleanup(self.process.terminate)
        self.origin = "http://127.0.0.1:%d" % self.port
        self.cookie = "device_token_%d=%s" % (self.port, self.console.token)
        case.assertTrue(until(lambda: "[web]" in self.said()))

    def said(self):
        with open(self.err) as f:
            return f.read()

    def ask(self, method, path, body=None, **headers):
        """(status, text) of one request; headers' underscores are dashes."""
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=HANG_S)
        conn.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
        headers.setdefault("Host", "127.0.0.1:%d" % self.port)
        for name, value in headers.items():
            conn.putheader(name.replace("_", "-"), value)
        conn.endheaders(body)
        answer = conn.getresponse()
        return answer.status, answer.read().decode()

    def do(self, command, **headers):
        body = ('{"command": "%s"}' % command).encode()
        return self.ask("POST", "/api/do", body, Content_Length=str(len(body)), **headers)[0]

    def threads(self):
        return len(os.listdir("/proc/%d/task" % self.process.pid))


class PageServerTest(unittest.TestCase):
    def test_only_its_own_page_changes_the_device_and_bad_headers_get_a_line(self):
        p = Page(self)
        mine = dict(Origin=p.origin, X_Device_Token=p.console.token, Cookie=p.cookie)
        self.assertEqual(p.do("snapshot save new", **mine), 200)
        refused = [p.do("snapshot save a", Origin=p.origin, Cookie=p.cookie),                        # the cookie alone
                   p.do("snapshot save b", **dict(mine, Origin="http://127.0.0.1:8899")),            # another port
                   p.do("snapshot save c", Sec_Fetch_Site="same-site", **mine),
                   p.do("snapshot delete keep", **mine),                                             # never from the page
                   p.do("snapshot save d", **dict(mine, Host="evil.example:%d" % p.port)),
                   p.ask("GET", "/api/state", Cookie=p.cookie, Sec_Fetch_Site="same-site")[0]]
        self.assertEqual(refused, [403] * 6)
        for headers in (dict(X_Device_Token="tökén"), dict(Cookie="=;;%s=;=x; ü" % p.cookie.split("=")[0]),
                        dict(mine, Content_Length="-1"), dict(mine, Content_Length="lots")):
            status, text = p.ask("POST", "/api/do", b"{}", **headers)
            self.assertIn(status, (400, 403), headers)
            self.assertRegex(text, r"^[^\n]+\n$")
        self.assertEqual(p.console.heard, ["snapshot save new"])
        self.assertEqual(p.console.snapshots, {"keep", "new"})
        status, page = p.ask("GET", "/?token=" + p.console.token)
        self.assertIn('content="%s"' % p.console.token, page)
        self.assertNotIn("Traceback", p.said())

    def test_a_closed_tab_lets_go_of_its_thread_and_its_watch(self):
        p = Page(self)
        self.assertTrue(until(lambda: p.ask("GET", "/api/screen", Cookie=p.cookie)[0] == 503))   # no x11vnc there
        idle, tabs, p.console.flood = p.threads(), [], True
        for _ in range(3):   # tabs that never read while the console floods them, then close
            tab = socket.socket()
            tab.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            tab.connect(("127.0.0.1", p.port))
            tab.sendall(("GET /api/watch HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nCookie: %s\r\n\r\n" % (p.port, p.cookie)).encode())
            tabs.append(tab)
        # Far more than the sockets between hold: each tab's queue is full.
        self.assertTrue(until(lambda: len(p.console.sent) == 3 and min(p.console.sent.values()) > 3e6), p.console.sent)
        for tab in tabs:
            tab.close()
        self.assertTrue(until(lambda: not p.console.watches), "console watches left: %d" % len(p.console.watches))
        self.assertTrue(until(lambda: p.threads() <= idle), "threads: %d, idle %d" % (p.threads(), idle))

    @unittest.skipUnless(os.environ.get("DISPLAY"), "needs an X display")
    def test_the_screen_goes_only_to_its_own_page_and_says_when_its_server_dies(self):
        spy = tempfile.TemporaryDirectory()   # every x11vnc started, with its arguments
        self.addCleanup(spy.cleanup)
        with open(os.path.join(spy.name, "x11vnc"), "w") as f:
            f.write('#!/bin/sh\necho "$@" >>%s/args\nexec /usr/bin/x11vnc "$@"\n' % spy.name)
        os.chmod(f.name, 0o755)
        p = Page(self, os.environ["DISPLAY"], PATH=spy.name + ":" + os.environ["PATH"])
        screen = lambda: p.ask("GET", "/api/screen", Cookie=p.cookie)
        self.assertTrue(until(lambda: screen()[0] == 200), screen())
        password = re.search(r'"password": "(\w+)"', screen()[1]).group(1)
        with open(os.path.join(spy.name, "args")) as f:
            self.assertNotIn(password, f.read(), "the VNC password on a command line")
        lines = {}
        for pid in subprocess.run(["pgrep", "-P", str(p.process.pid)], capture_output=True, text=True).stdout.split():
            with open("/proc/%s/cmdline" % pid) as f:
                lines[pid] = f.read()
        # The screen's websocket: only from the page's own origin, with its cookie; then RFB itself.
        for origin, cookie, status in (("http://evil.example", p.cookie, b"403"), ("null", p.cookie, b"403"),
                                       (p.origin, "", b"403"), (p.origin, p.cookie, b"101")):
            with socket.create_connection(("127.0.0.1", p.port), timeout=HANG_S) as ws:
                ws.sendall(("GET /api/vnc HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nOrigin: %s\r\nCookie: %s\r\n"
                            "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n" % (p.port, origin, cookie)).encode())
                answer = ws.makefile("rb")
                self.assertEqual(answer.readline().split()[:2], [b"HTTP/1.1" if status == b"101" else b"HTTP/1.0", status],
                                 (origin, cookie))
                headers = list(iter(lambda: answer.readline().strip(), b""))
                if status == b"101":   # the key and its answer of the protocol's own example
                    self.assertIn(b"Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=", headers)
                    self.assertEqual(answer.read(2 + 12), b"\x82\x0cRFB 003.008\n")
        vnc = [pid for pid, line in lines.items() if "x11vnc" in line.split("\0")[0]][0]
        self.assertNotIn("pid=%s," % vnc, subprocess.run(["ss", "-Hltnp"], capture_output=True, text=True).stdout)
        folder = os.path.dirname(re.search(r"-unixsock\x00([^\x00]+)", lines[vnc]).group(1))
        self.assertEqual(os.stat(folder).st_mode & 0o777, 0o700)
        os.kill(int(vnc), 9)
        self.assertTrue(until(lambda: screen()[0] == 503))
        self.assertIn("x11vnc", screen()[1])


class CrossSiteTest(unittest.TestCase):
    def test_a_page_of_another_port_cannot_touch_the_snapshots_and_two_devices_keep_their_cookies(self):
        a, b = Page(self), Page(self)
        driver = browser()
        self.addCleanup(driver.quit)
        shows_keep = lambda: until(lambda: "keep" in driver.find_element(By.ID, "state").text)
        for page in (a, b):
            driver.get("%s/?token=%s" % (page.origin, page.console.token))
            self.assertTrue(shows_keep())
            self.assertTrue(until(lambda: driver.current_url == page.origin + "/"), driver.current_url)
        driver.get(a.origin)   # its cookie alone, b's beside it
        self.assertTrue(shows_keep())
        driver.refresh()
        self.assertTrue(shows_keep())
        line = lambda: driver.find_element(By.ID, "line").text
        self.assertTrue(until(lambda: "x11vnc) did not start" in line()), line())   # no display :0.9 here
        driver.find_element(By.XPATH, '//button[text()="load"]').click()
        asked = driver.switch_to.alert
        self.assertRegex(asked.text, r'"web".*as it is now.*replaced')
        asked.dismiss()
        refusals = lambda: a.said().count("[web] refused a change")
        before = refusals()
        driver.get(other_port_page(self, a.origin, "keep"))
        self.assertTrue(until(lambda: driver.title.startswith("tried")), driver.title)
        self.assertTrue(until(lambda: refusals() >= before + 4), a.said())   # its four tries came, and were refused
        self.assertEqual([h for h in a.console.heard if h.startswith("snapshot")], [])
        self.assertEqual(a.console.snapshots, {"keep"})


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:])
