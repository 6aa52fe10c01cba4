#!/usr/bin/python3
"""The running device in a browser: its screen, live and touchable, beside the console's controls.

  web.py --prefix P --display :N --port PORT --logs DIR

Started by device.sh once the console is up; ends with the device. It serves one page on
127.0.0.1:PORT. The screen is the device's Xvfb shared by x11vnc on the loopback, behind a
password derived from the console's token, and carried to the page by websockify; the page's
VNC client is noVNC's. Every request needs the console's token: in the page's address once (it
becomes a same-site cookie), then in a header or that cookie. The console's commands go through
the console's own client, token and all.
"""

import argparse
import hashlib
import hmac
import http.server
import json
import os
import queue
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
NOVNC = '/usr/share/novnc'
COOKIE = 'device_token'
REFUSED = ('refused: this page belongs to the device\'s user. Open the address that ./run device --web '
           'printed; it carries the console\'s token.\n')
# What the page may ask of the console; quitting the device and writing files stay on the PC's side.
TIMED = re.compile(r'\d\d:\d\d:\d\d')   # the timeline's lines, not the watch's greeting
VERBS = {'state', 'card', 'host', 'display', 'gps', 'send', 'dab', 'snapshot'}


sys.path.insert(0, os.path.join(HERE, '..', 'console'))
import client  # noqa: E402  the console's own client: the token's handshake and its answers



def door_token(prefix, timeout=30):
    """The token the console wrote for its user; None when no console came up."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with open(os.path.join(prefix, '.device-console')) as f:
                words = f.read().split()
            if len(words) >= 3:
                return words[2]
        except OSError:
            pass
        time.sleep(0.1)
    return None


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def vnc_password(token):
    """VNC passwords hold eight characters: eight that only a holder of the token can derive."""
    return hmac.new(token.encode(), b'vnc', hashlib.sha256).hexdigest()[:8]


# ------------------------------------------------------------------ the screen

class Screen:
    """x11vnc on the device's display, on the loopback only, and websockify in front of it."""

    def __init__(self, display, token, logs):
        self.vnc_port, self.ws_port = free_port(), free_port()
        self.password = vnc_password(token)
        self.folder = tempfile.mkdtemp(prefix='device-vnc-')
        auth = os.path.join(self.folder, 'passwd')
        subprocess.run(['x11vnc', '-storepasswd', self.password, auth], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        log = open(os.path.join(logs, 'vnc.log'), 'a')
        # -wait/-defer: poll the screen every 15 ms, so the moving picture reaches the page smoothly.
        self.vnc = subprocess.Popen(['x11vnc', '-display', display, '-localhost', '-rfbport', str(self.vnc_port),
                                     '-rfbauth', auth, '-forever', '-shared', '-wait', '15', '-defer', '15',
                                     '-nowf', '-noxdamage', '-quiet'], stdin=subprocess.DEVNULL, stdout=log,
                                    stderr=subprocess.STDOUT)
        self.bridge = subprocess.Popen(['websockify', '127.0.0.1:%d' % self.ws_port, '127.0.0.1:%d' % self.vnc_port],
                                       stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT)

    def stop(self):
        for p in (self.bridge, self.vnc):
            p.terminate()
        for p in (self.bridge, self.vnc):
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        for name in os.listdir(self.folder):
            os.remove(os.path.join(self.folder, name))
        os.rmdir(self.folder)


# ------------------------------------------------------------------ the console's side

def ask(prefix, line):
    """(done, lines, text) of one console command."""
    lines, said = [], []

    def show(kind, text):
        (lines if kind == 'line' else said).append(text)
    try:
        done = client.exchange(prefix, line, show)
    except client.Refused as e:
        return False, [], str(e)
    return done, lines, ''.join(said)


class Tabs:
    """The pages open on the device, so each can say when another one is open too."""

    def __init__(self):
        self.lock = threading.Lock()
        self.count = 0

    def __enter__(self):
        with self.lock:
            self.count += 1

    def __exit__(self, *exc):
        with self.lock:
            self.count -= 1


# ------------------------------------------------------------------ the page's server

class Handler(http.server.BaseHTTPRequestHandler):
    server_version = 'device-web'

    def log_message(self, fmt, *args):
        pass

    # -------------------------------------------------------------- the door
    def token_given(self):
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query)
        cookies = dict(c.strip().split('=', 1) for c in self.headers.get('Cookie', '').split(';') if '=' in c)
        for given in (query.get('token', [''])[0], self.headers.get('X-Device-Token', ''), cookies.get(COOKIE, '')):
            if given and hmac.compare_digest(given, self.server.token):
                return True
        return False

    def refuse(self):
        self.reply(403, REFUSED.encode(), 'text/plain; charset=utf-8')

    def reply(self, status, body, kind, extra=None):
        self.send_response(status)
        self.send_header('Content-Type', kind)
        self.send_header('Content-Length', str(len(body)))
        self.send_header('Cache-Control', 'no-store')
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def json(self, value):
        self.reply(200, json.dumps(value).encode(), 'application/json')

    # -------------------------------------------------------------- requests
    def do_GET(self):
        if not self.token_given():
            return self.refuse()
        path = urllib.parse.urlsplit(self.path).path
        routes = {'/': self.page, '/api/screen': self.screen, '/api/state': self.state, '/api/watch': self.watch,
                  '/api/shot': self.shot}
        if path in routes:
            return routes[path]()
        if path == '/favicon.ico':
            return self.reply(204, b'', 'image/x-icon')
        if path.startswith('/static/'):
            return self.file(HERE, path[len('/static/'):])
        if path.startswith('/novnc/'):
            return self.file(NOVNC, path[len('/novnc/'):])
        self.reply(404, b'not here\n', 'text/plain')

    def do_POST(self):
        if not self.token_given():
            return self.refuse()
        if urllib.parse.urlsplit(self.path).path != '/api/do':
            return self.reply(404, b'not here\n', 'text/plain')
        try:
            length = min(int(self.headers.get('Content-Length', '0')), 4096)
            line = str(json.loads(self.rfile.read(length)).get('command', '')).strip()
        except (ValueError, AttributeError):
            line = ''
        words = line.split()
        if not words or words[0] not in VERBS or '\n' in line:
            return self.json({'ok': False, 'text': 'the page cannot do "%s"' % line[:80]})
        done, lines, text = ask(self.server.prefix, line)
        self.json({'ok': done, 'lines': lines, 'text': text})

    def page(self):
        with open(os.path.join(HERE, 'index.html'), 'rb') as f:
            body = f.read()
        cookie = '%s=%s; Path=/; HttpOnly; SameSite=Strict' % (COOKIE, self.server.token)
        self.reply(200, body, 'text/html; charset=utf-8', {'Set-Cookie': cookie})

    def file(self, root, relative):
        base = os.path.realpath(root)
        path = os.path.realpath(os.path.join(base, relative))
        if not path.startswith(base + os.sep) or not os.path.isfile(path):
            return self.reply(404, b'not here\n', 'text/plain')
        kinds = {'.js': 'text/javascript', '.css': 'text/css', '.html': 'text/html; charset=utf-8'}
        with open(path, 'rb') as f:
            self.reply(200, f.read(), kinds.get(os.path.splitext(path)[1], 'application/octet-stream'))

    def screen(self):
        s = self.server.screen
        self.json({'ws': 'ws://127.0.0.1:%d/' % s.ws_port, 'password': s.password})

    def state(self):
        done, lines, text = ask(self.server.prefix, 'state')
        self.json({'ok': done, 'lines': lines, 'text': text, 'tabs': self.server.tabs.count})

    def shot(self):
        with tempfile.TemporaryDirectory(prefix='device-shot-') as folder:
            path = os.path.join(folder, 'shot.png')
            done, _, text = ask(self.server.prefix, 'shot ' + path)
            if not done or not os.path.isfile(path):
                return self.reply(503, ('cannot: %s\n' % text).encode(), 'text/plain; charset=utf-8')
            with open(path, 'rb') as f:
                body = f.read()
        name = time.strftime('device-%Y%m%d-%H%M%S.png')
        self.reply(200, body, 'image/png', {'Content-Disposition': 'attachment; filename="%s"' % name})

    def watch(self):
        """The console's watch as server-sent events; a line says when the console is gone."""
        self.send_response(200)
        self.send_header('Content-Type', 'text/event-stream')
        self.send_header('Cache-Control', 'no-store')
        self.end_headers()
        lines = queue.Queue(maxsize=1000)

        def show(kind, text):
            if kind == 'line' and TIMED.match(text):
                try:
                    lines.put_nowait(text)
                except queue.Full:
                    pass

        def follow():
            try:
                client.exchange(self.server.prefix, 'watch', show)
            except (client.Refused, OSError):
                pass
            lines.put(None)
        threading.Thread(target=follow, daemon=True).start()
        with self.server.tabs:
            self.events(lines)

    def events(self, lines):
        try:
            self.wfile.write(b'event: open\ndata: watching\n\n')
            self.wfile.flush()
            while True:
                try:
                    line = lines.get(timeout=3)
                except queue.Empty:
                    line = ''   # a comment keeps the stream open and finds a closed tab
                if line is None:
                    self.wfile.write(b'event: gone\ndata: the console stopped\n\n')
                    return self.wfile.flush()
                self.wfile.write((': \n\n' if not line else 'data: %s\n\n' % line).encode('utf-8'))
                self.wfile.flush()
        except OSError:
            pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--prefix', required=True)
    parser.add_argument('--display', required=True)
    parser.add_argument('--port', type=int, default=6080)
    parser.add_argument('--logs', required=True)
    args = parser.parse_args()
    token = door_token(args.prefix)
    if not token:
        print('[web] no console came up in %s' % args.prefix, file=sys.stderr)
        return 1
    try:
        server = Server(('127.0.0.1', args.port), Handler)
    except OSError as e:
        print('[web] cannot serve on 127.0.0.1:%d: %s' % (args.port, e.strerror), file=sys.stderr)
        return 1
    server.prefix, server.token, server.tabs = args.prefix, token, Tabs()
    server.screen = Screen(args.display, token, args.logs)
    signal.signal(signal.SIGTERM, lambda *_: threading.Thread(target=server.shutdown, daemon=True).start())
    print('[web] the device in a browser: http://127.0.0.1:%d/?token=%s' % (args.port, token), file=sys.stderr,
          flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.screen.stop()
        server.server_close()
    return 0


if __name__ == '__main__':
    sys.exit(main())
