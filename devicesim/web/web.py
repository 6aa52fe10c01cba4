#!/usr/bin/python3
"""The running device in a browser: its screen, live and touchable, beside the console's controls.

  web.py --prefix P --display :N --port PORT --logs DIR

Started by device.sh once the console is up; ends with the device. It serves one page on
127.0.0.1:PORT, for its own tab only. Every request needs the console's token: in the page's
address once (it becomes a cookie named after this port, so two devices' pages live side by side),
then in that cookie; a request that changes the device needs it in the X-Device-Token header too,
from the page's own origin, which a page of another program on 127.0.0.1 (same-site to the
browser, whatever its port) cannot send. The screen is the device's Xvfb shared by x11vnc on a Unix
socket in a private folder, behind a password derived from the token; this server itself carries
it to the page as a websocket, to the page's own origin with the cookie only. The page's VNC client
is noVNC's. The console's commands go through the console's own client, token and all.
"""

import argparse
import base64
import ctypes
import hashlib
import hmac
import html
import http.server
import json
import os
import queue
import re
import select
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
NOVNC = '/usr/share/novnc'
REFUSED = ('refused: this page belongs to the device\'s user. Open the address that ./run device --web '
           'printed; it carries the console\'s token.\n')
LIBC, PR_SET_PDEATHSIG = ctypes.CDLL(None), 1
TIMED = re.compile(r'\d\d:\d\d:\d\d')   # the timeline's lines, not the watch's greeting
# What the page may ask of the console; quitting the device, writing files and deleting snapshots
# stay on the PC's side.
VERBS = {'state', 'card', 'host', 'display', 'gps', 'send', 'dab', 'snapshot'}
SNAPSHOT_VERBS = {'save', 'load', 'list', 'undo'}


sys.path.insert(0, os.path.join(HERE, '..', 'console'))
import client  # noqa: E402  the console's own client: the token's handshake and its answers
from hang import HANG_S  # noqa: E402



def door_token(prefix, timeout=HANG_S):
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


def vnc_password(token):
    """VNC passwords hold eight characters: eight that only a holder of the token can derive."""
    return hmac.new(token.encode(), b'vnc', hashlib.sha256).hexdigest()[:8]


# ------------------------------------------------------------------ the screen

class Screen:
    """x11vnc on the device's display, on a Unix socket in a folder only this user can enter; the
    page server relays it (see Handler.vnc). Started on a thread of its own; trouble holds why the
    page cannot have the screen, for the page's status line."""

    def __init__(self, display, token, logs):
        self.display, self.logs = display, logs
        self.password = vnc_password(token)
        self.folder = tempfile.mkdtemp(prefix='device-vnc-')   # mode 0700
        self.socket = os.path.join(self.folder, 'vnc.sock')
        self.vnc = None
        self.trouble = 'the screen is starting'
        self.stopping = threading.Event()
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        # x11vnc ends with the thread that started it (its parent-death signal), so this thread
        # lives as long as it should: a page server killed on the spot leaves none behind.
        self.start()
        self.stopping.wait()

    def helper(self, args, log):
        return subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                preexec_fn=lambda: LIBC.prctl(PR_SET_PDEATHSIG, signal.SIGTERM))

    def start(self):
        auth = os.path.join(self.folder, 'passwd')
        fd = os.open(auth, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, 'w') as f:
            f.write(self.password + '\n')
        log = open(os.path.join(self.logs, 'vnc.log'), 'a')
        # -rfbport 0 -rfbportv6 -1 -no6: no TCP port at all, only the socket (without -rfbportv6
        # it still listens on [::]:5900; -localhost would refuse the socket's clients, which are not
        # 127.0.0.1). -wait/-defer: poll the screen every 15 ms, so the moving picture reaches the
        # page smoothly.
        self.vnc = self.helper(['x11vnc', '-display', self.display, '-unixsock', self.socket, '-rfbport', '0',
                                '-rfbportv6', '-1', '-no6', '-passwdfile', auth, '-forever', '-shared', '-wait', '15', '-defer', '15', '-nowf',
                                '-noxdamage', '-quiet'], log)
        if not self.until(lambda: os.path.exists(self.socket), self.vnc, HANG_S):
            self.trouble = 'the screen\'s VNC server (x11vnc) did not start: see %s/vnc.log' % self.logs
            return
        self.trouble = ''

    @staticmethod
    def until(ready, process, timeout):
        deadline = time.monotonic() + timeout
        while process.poll() is None and time.monotonic() < deadline:
            if ready():
                return True
            time.sleep(0.1)
        return False

    def problem(self):
        """Why the page cannot have the screen now, or ''."""
        if self.trouble:
            return self.trouble
        if self.vnc and self.vnc.poll() is not None:
            return 'the screen\'s VNC server (x11vnc) stopped (exit %s): see %s/vnc.log' % (self.vnc.returncode, self.logs)
        return ''

    @staticmethod
    def end(process):
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()

    def stop(self):
        self.stopping.set()
        if self.vnc:
            self.end(self.vnc)
        for name in os.listdir(self.folder):
            os.remove(os.path.join(self.folder, name))
        os.rmdir(self.folder)   # the password file with it


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


def follow(prefix, lines, conns, closed):
    """Feeds a tab's queue with the console's watch until the console or the tab closes it; never
    waits on the queue, so a tab that stopped reading cannot hold this thread."""
    def put(text):
        try:
            lines.put_nowait(text)
        except queue.Full:
            pass
    try:
        conn = client.connect(prefix)
        conns.append(conn)
        if closed.is_set():   # the tab went while this connected: the tab's end did not see conn
            conn.close()
        conn.settimeout(None)   # a quiet device is no reason to stop following it
        conn.sendall(b'watch\n')
        for line in conn.makefile('r', encoding='utf-8', errors='replace', newline='\n'):
            if TIMED.match(line):
                put(line.rstrip('\n'))
    except (client.Refused, OSError, ValueError):
        pass
    try:
        lines.get_nowait() if lines.full() else None   # room for the end, whatever else is lost
    except queue.Empty:
        pass
    put(None)


WS_GUID = b'258EAFA5-E914-47DA-95CA-C5AB0DC85B11'
WS_LARGEST = 1 << 20   # what the page sends is keys and pointer moves: a larger frame is no VNC client's


def ws_frame(opcode, data=b''):
    n = len(data)
    head = struct.pack('!BB', 0x80 | opcode, n) if n < 126 else \
        struct.pack('!BBH', 0x80 | opcode, 126, n) if n < 1 << 16 else struct.pack('!BBQ', 0x80 | opcode, 127, n)
    return head + data


def ws_read(rfile):
    """(opcode, data) of the page's next frame; None at the end or on a frame no browser sends."""
    head = rfile.read(2)
    if len(head) < 2 or not head[1] & 0x80:   # a browser masks every frame
        return None
    opcode, n = head[0] & 0x0f, head[1] & 0x7f
    if n >= 126:
        extra = rfile.read(2 if n == 126 else 8)
        if len(extra) < (2 if n == 126 else 8):
            return None
        n = struct.unpack('!H' if n == 126 else '!Q', extra)[0]
    if n > WS_LARGEST:
        return None
    mask, data = rfile.read(4), rfile.read(n)
    if len(mask) < 4 or len(data) < n:
        return None
    key = (mask * (n // 4 + 1))[:n]
    return opcode, (int.from_bytes(data, 'big') ^ int.from_bytes(key, 'big')).to_bytes(n, 'big')


def relay(conn, rfile, vnc):
    """The page's websocket and x11vnc's socket, both ways, until either ends."""
    sending = threading.Lock()

    def send(opcode, data=b''):
        with sending:
            conn.sendall(ws_frame(opcode, data))

    def to_page():
        try:
            while True:
                data = vnc.recv(65536)
                if not data:
                    break
                send(2, data)
            send(8)
        except OSError:
            pass
        try:
            conn.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
    threading.Thread(target=to_page, daemon=True).start()
    try:
        while True:
            frame = ws_read(rfile)
            if frame is None or frame[0] == 8:
                break
            if frame[0] == 9:
                send(10, frame[1])
            elif frame[0] in (0, 1, 2):
                vnc.sendall(frame[1])
    except OSError:
        pass
    finally:
        vnc.close()


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


class Bad(Exception):
    """A request this server answers with a status and one line."""

    def __init__(self, status, text):
        super().__init__(text)
        self.status = status


# ------------------------------------------------------------------ the page's server

class Handler(http.server.BaseHTTPRequestHandler):
    server_version = 'device-web'
    timeout = HANG_S   # a request's headers and body come at once, or the browser has hung

    def log_message(self, fmt, *args):
        pass

    # -------------------------------------------------------------- the door
    def own_origins(self):
        return {'http://%s:%d' % (host, self.server.port) for host in ('127.0.0.1', 'localhost')}

    def cookie_name(self):
        return 'device_token_%d' % self.server.port

    def cookie(self):
        for part in self.headers.get('Cookie', '').split(';'):
            name, eq, value = part.strip().partition('=')
            if eq and name == self.cookie_name():
                return value
        return ''

    def proves(self, given):
        return bool(given) and given.isascii() and hmac.compare_digest(given, self.server.token)

    def check(self, post):
        """Raises Bad unless the request comes from the device's own page, or (a GET of the page)
        from the address ./run device --web printed."""
        host = self.headers.get('Host', '')
        if 'http://' + host not in self.own_origins():
            raise Bad(403, 'refused: this server answers only as 127.0.0.1:%d, not as %r\n' % (self.server.port, host[:80]))
        query = urllib.parse.parse_qs(urllib.parse.urlsplit(self.path).query).get('token', [''])[0]
        if not (self.proves(self.cookie()) or self.proves(query) or self.proves(self.headers.get('X-Device-Token', ''))):
            raise Bad(403, REFUSED)
        # A browser says where a request comes from; only the page itself may ask anything but
        # the page (the others cannot read it, but they need not even be answered).
        site = self.headers.get('Sec-Fetch-Site', '')
        navigation = self.headers.get('Sec-Fetch-Mode', '') == 'navigate' and not post
        if site in ('same-site', 'cross-site') and not navigation:
            raise Bad(403, 'refused: only the device\'s own page may ask this (this request came from another site)\n')
        if post:
            origin = self.headers.get('Origin', '')
            if origin not in self.own_origins():
                raise Bad(403, 'refused: a change to the device must come from its own page, not from %r\n' % origin[:80])
            if not self.proves(self.headers.get('X-Device-Token', '')):
                raise Bad(403, 'refused: a change to the device needs the page\'s token in X-Device-Token; '
                               'the cookie alone is not enough\n')

    def reply(self, status, body, kind, extra=None):
        self.send_response(status)
        self.send_header('Content-Type', kind)
        self.send_header('Content-Length', str(len(body)))
        self.send_header('Cache-Control', 'no-store')
        self.send_header('X-Frame-Options', 'DENY')
        self.send_header('Content-Security-Policy', "frame-ancestors 'none'")
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def line(self, status, text):
        self.reply(status, text.encode('utf-8'), 'text/plain; charset=utf-8')

    def json(self, value, status=200):
        self.reply(status, json.dumps(value).encode(), 'application/json')

    # -------------------------------------------------------------- requests
    def do_GET(self):
        try:
            self.check(post=False)
        except Bad as e:
            return self.line(e.status, str(e))
        path = urllib.parse.urlsplit(self.path).path
        routes = {'/': self.page, '/api/screen': self.screen, '/api/state': self.state, '/api/watch': self.watch,
                  '/api/shot': self.shot, '/api/vnc': self.vnc}
        if path in routes:
            return routes[path]()
        if path == '/favicon.ico':
            return self.reply(204, b'', 'image/x-icon')
        if path.startswith('/static/'):
            return self.file(HERE, path[len('/static/'):])
        if path.startswith('/novnc/'):
            return self.file(NOVNC, path[len('/novnc/'):])
        self.line(404, 'not here\n')

    def do_POST(self):
        try:
            self.check(post=True)
            if urllib.parse.urlsplit(self.path).path != '/api/do':
                raise Bad(404, 'not here\n')
            line = self.read_command()
        except Bad as e:
            # Its user sees in the device's log that something tried to change the device.
            print('[web] refused a change: %s' % str(e).strip()[:160], file=sys.stderr, flush=True)
            return self.line(e.status, str(e))
        words = line.split()
        if not words or words[0] not in VERBS or '\n' in line or \
                (words[0] == 'snapshot' and words[1:2] and words[1] not in SNAPSHOT_VERBS):
            said = 'the page cannot delete snapshots: ./run console snapshot delete NAME can' \
                if words[:2] == ['snapshot', 'delete'] else 'the page cannot do "%s"' % line[:80]
            return self.json({'ok': False, 'text': said}, 403)
        done, lines, text = ask(self.server.prefix, line)
        self.json({'ok': done, 'lines': lines, 'text': text})

    def read_command(self):
        if 'Content-Length' not in self.headers:
            raise Bad(411, 'a command needs a Content-Length\n')
        try:
            length = int(self.headers['Content-Length'])
        except ValueError:
            raise Bad(400, 'a command\'s Content-Length is a number, not %r\n' % self.headers['Content-Length'][:40])
        if not 0 <= length <= 4096:
            raise Bad(413 if length > 0 else 400, 'a command\'s Content-Length is 0 to 4096, not %d\n' % length)
        try:
            return str(json.loads(self.rfile.read(length)).get('command', '')).strip()
        except (ValueError, AttributeError):
            raise Bad(400, 'a command is JSON: {"command": "..."}\n')

    def page(self):
        """The page, with the token for its requests' header: only a request that proved the token
        gets it, and another site's page cannot read the answer."""
        with open(os.path.join(HERE, 'index.html'), encoding='utf-8') as f:
            body = f.read().replace('{{token}}', html.escape(self.server.token)).encode('utf-8')
        cookie = '%s=%s; Path=/; HttpOnly; SameSite=Strict' % (self.cookie_name(), self.server.token)
        self.reply(200, body, 'text/html; charset=utf-8', {'Set-Cookie': cookie})

    def file(self, root, relative):
        base = os.path.realpath(root)
        path = os.path.realpath(os.path.join(base, relative))
        if not path.startswith(base + os.sep) or not os.path.isfile(path):
            return self.line(404, 'not here\n')
        kinds = {'.js': 'text/javascript', '.css': 'text/css', '.html': 'text/html; charset=utf-8'}
        with open(path, 'rb') as f:
            self.reply(200, f.read(), kinds.get(os.path.splitext(path)[1], 'application/octet-stream'))

    def screen(self):
        s = self.server.screen
        trouble = s.problem()
        if trouble:
            return self.json({'ok': False, 'text': trouble}, 503)
        self.json({'ok': True, 'ws': 'ws://%s/api/vnc' % self.headers['Host'], 'password': s.password})

    def vnc(self):
        """The screen as a websocket. The page's cookie goes with a websocket from any page of the
        same site, another 127.0.0.1 port's too: only the page's own origin is let through."""
        origin = self.headers.get('Origin', '')
        if origin not in self.own_origins():
            print('[web] refused a change: the screen asked from %r' % origin[:80], file=sys.stderr, flush=True)
            return self.line(403, 'refused: the screen is only for the device\'s own page, not for %r\n' % origin[:80])
        key = self.headers.get('Sec-WebSocket-Key', '')
        if self.headers.get('Upgrade', '').lower() != 'websocket' or not key:
            return self.line(400, 'the screen is a websocket\n')
        trouble = self.server.screen.problem()
        vnc = socket.socket(socket.AF_UNIX)
        try:
            if trouble:
                raise OSError(trouble)
            vnc.connect(self.server.screen.socket)
        except OSError as e:
            vnc.close()
            return self.line(503, 'the screen is not there: %s\n' % (trouble or e.strerror))
        self.protocol_version = 'HTTP/1.1'   # a browser takes an upgrade in no other
        self.send_response(101)
        self.send_header('Upgrade', 'websocket')
        self.send_header('Connection', 'Upgrade')
        self.send_header('Sec-WebSocket-Accept', base64.b64encode(hashlib.sha1(key.encode() + WS_GUID).digest()).decode())
        self.end_headers()
        self.wfile.flush()
        self.close_connection = True
        self.connection.settimeout(None)   # a screen that does not change sends nothing for a while
        relay(self.connection, self.rfile, vnc)

    def state(self):
        done, lines, text = ask(self.server.prefix, 'state')
        self.json({'ok': done, 'lines': lines, 'text': text, 'tabs': self.server.tabs.count})

    def shot(self):
        with tempfile.TemporaryDirectory(prefix='device-shot-') as folder:
            path = os.path.join(folder, 'shot.png')
            done, _, text = ask(self.server.prefix, 'shot ' + path)
            if not done or not os.path.isfile(path):
                return self.line(503, 'cannot: %s\n' % text)
            with open(path, 'rb') as f:
                body = f.read()
        name = time.strftime('device-%Y%m%d-%H%M%S.png')
        self.reply(200, body, 'image/png', {'Content-Disposition': 'attachment; filename="%s"' % name})

    def watch(self):
        """The console's watch as server-sent events; a line says when the console is gone. A
        closed tab ends its stream, its thread and its console connection within a second or so."""
        self.send_response(200)
        self.send_header('Content-Type', 'text/event-stream')
        self.send_header('Cache-Control', 'no-store')
        self.end_headers()
        lines, conns, closed = queue.Queue(maxsize=1000), [], threading.Event()
        threading.Thread(target=follow, args=(self.server.prefix, lines, conns, closed), daemon=True).start()
        try:
            with self.server.tabs:
                self.events(lines)
        finally:
            closed.set()
            for conn in conns:
                try:
                    # Closed abortively, so the console's watch hears of it even while its sends
                    # wait for a window this end no longer opens; the follow thread's read ends.
                    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                    conn.shutdown(socket.SHUT_RD)
                except OSError:
                    pass
                conn.close()

    def tab_closed(self):
        """A tab sends nothing after its request: anything readable is its connection's end."""
        readable, _, _ = select.select([self.connection], [], [], 0)
        try:
            return bool(readable) and not self.connection.recv(1, socket.MSG_PEEK)
        except OSError:
            return True

    def events(self, lines):
        try:
            self.wfile.write(b'event: open\ndata: watching\n\n')
            self.wfile.flush()
            quiet = 0
            while not self.tab_closed():
                try:
                    line = lines.get(timeout=1)
                except queue.Empty:
                    quiet += 1
                    if quiet % 3:
                        continue
                    line = ''   # a comment now and then keeps the stream open
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

    def handle_error(self, request, client_address):
        print('[web] a request failed: %s' % (sys.exc_info()[1],), file=sys.stderr, flush=True)


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
    server.prefix, server.token, server.tabs, server.port = args.prefix, token, Tabs(), args.port
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
