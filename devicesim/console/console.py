#!/usr/bin/python3
"""The console of a running simulated device: break it, watch it, record and replay it.

  console.py serve --prefix P --logs DIR [--record FILE | --replay FILE]
      Runs beside the device (devicesim/device.sh starts it): listens on 127.0.0.1, writes
      "PORT PID" to P/.device-console and waits for the device's agent (deviceagent.exe, which
      does inside the device what needs its windows, input and display). The card slot and the
      GPS module's port are handled here, on the PC's side. Ends on "quit", on SIGTERM, or when a
      replay is over (exit status 0 when the host heard the same requests, 1 when not).
  console.py client --prefix P [COMMAND...]
      Sends one command and prints the answer; with no command, reads commands line by line.
      A command that cannot be done prints why and exits 1.
  console.py restore --prefix P [--check FILE]
      Puts back the card (in its slot, writable) that a console killed on the spot left out, and
      with --check, exits 2 when FILE is not a session that can be replayed.
"""

import argparse
import os
import queue
import re
import signal
import socket
import subprocess
import sys
import threading
import time

CARD_NAME = '기억 장치 카드'
HELP = """state                  the viewer's view, the tuned channel, the store, the card, open message boxes
touch X Y              a tap at screen coordinates
shot FILE.png          the screen as it is, 640x480
card out|in            the storage card leaves or comes back
card readonly on|off   the card becomes read-only, or writable again
host silent on|off     the host hears requests but stops answering them, or answers again
host lag MS            the host answers MS milliseconds late (0: on time)
send CODE ARG          the host sends "HL_SOFTKEY" CODE ARG
dab TEXT               the host sends TEXT to the viewer as the DAB text line
display fail CALL [N]  the display's call CALL fails the next N times (default 1)
gps gone|back          COM7 disappears or comes back
watch                  the touches, the console's faults and the host's traffic as they happen, until interrupted
quit                   end every program of the device"""


class Refused(Exception):
    """A command that cannot be done; its text says why."""


def now():
    return time.monotonic()


def clock():
    t = time.time()
    return time.strftime('%H:%M:%S', time.localtime(t)) + '.%03d' % (int(t * 1000) % 1000)


# ------------------------------------------------------------------ the agent

class Agent:
    """The connection to deviceagent.exe: one command at a time; events go to on_event."""

    def __init__(self, conn, lines, on_event):
        self.conn, self.file, self.on_event = conn, lines, on_event
        self.answers = queue.Queue()
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.file:
            line = line.rstrip('\r\n')
            if line.startswith('@'):
                self.on_event(line[1:])
            else:
                self.answers.put(line)
        self.answers.put(None)

    def call(self, command, timeout=20):
        """(lines, text) of an answered command; Refused with the agent's reason otherwise."""
        with self.lock:
            self.conn.sendall((command + '\n').encode('utf-8'))
            lines = []
            deadline = now() + timeout
            while True:
                try:
                    line = self.answers.get(timeout=max(0.1, deadline - now()))
                except queue.Empty:
                    raise Refused('the device did not answer within %d s' % timeout)
                if line is None:
                    raise Refused('the device has stopped')
                if line.startswith('| '):
                    lines.append(line[2:])
                elif line == 'ok' or line.startswith('ok '):
                    return lines, line[3:]
                elif line == 'err' or line.startswith('err '):
                    raise Refused(line[4:] or 'refused')


# ------------------------------------------------------------------ the PC's side of the device

class Bench:
    """The card slot and the GPS module's port, which live outside the device's programs."""

    def __init__(self, prefix):
        self.card = os.path.join(prefix, 'drive_c', CARD_NAME)
        self.pulled = os.path.join(prefix, '.card-out')   # outside drive C:, where no program looks
        self.com7 = os.path.join(prefix, 'dosdevices', 'com7')
        self.unplugged = os.path.join(prefix, '.gps-unplugged')   # never exists: COM7 leads nowhere
        self.readonly = False
        self.mounted = False
        self.gps_target = None
        self.restore()

    def card_in_slot(self):
        return os.path.isdir(self.card)

    # What an earlier console that died left behind is put right first.
    def restore(self):
        for _ in range(5):   # bind mounts may stack
            if not self._mounted():
                break
            subprocess.run(['umount', self.card], check=False)
        self.mounted = False
        if not os.path.exists(self.card) and os.path.isdir(self.pulled):
            os.rename(self.pulled, self.card)
        self.set_readonly(False)
        if self.gps_target:
            self.gps('back')

    def card_out(self):
        if not self.card_in_slot():
            raise Refused('the card is already out')
        self._unprotect()
        os.rename(self.card, self.pulled)
        return 'the card is out'

    def card_in(self):
        if self.card_in_slot():
            raise Refused('the card is already in')
        if not os.path.isdir(self.pulled):
            raise Refused('there is no card to put back')
        os.rename(self.pulled, self.card)
        if self.readonly:
            self._protect()
        return 'the card is in' + (', read-only' if self.readonly else '')

    def set_readonly(self, on):
        self.readonly = on
        if not self.card_in_slot():
            return
        if on:
            self._protect()
        else:
            self._unprotect()

    # A read-only bind mount refuses every write to the card (Wine answers access denied), even
    # when the device runs as root; where mounting is not allowed, the files' write permissions
    # are taken away instead, which holds for every user but root.
    def _protect(self):
        if os.geteuid() == 0 and not self.mounted:
            ok = subprocess.run(['mount', '--bind', self.card, self.card], capture_output=True).returncode == 0
            ok = ok and subprocess.run(['mount', '-o', 'remount,bind,ro', self.card], capture_output=True).returncode == 0
            self.mounted = ok or self._mounted()
            if not ok and self.mounted:
                subprocess.run(['umount', self.card], check=False)
                self.mounted = False
        if not self.mounted:
            self._chmod(False)
        if self._writable():
            self._unprotect()
            self.readonly = False
            raise Refused('the card cannot be made read-only on this machine (no mount, and root ignores permissions)')

    def _mounted(self):
        # A folder bound onto itself keeps its device and inode, so only the mount table tells.
        return subprocess.run(['mountpoint', '-q', self.card], capture_output=True).returncode == 0

    def _unprotect(self):
        if self.mounted:
            subprocess.run(['umount', self.card], check=False)
            self.mounted = False
        self._chmod(True)

    def _chmod(self, writable):
        for folder, dirs, files in os.walk(self.card):
            for name in [folder] + [os.path.join(folder, n) for n in dirs + files]:
                mode = os.lstat(name).st_mode & 0o7777
                os.chmod(name, (mode | 0o200) if writable else (mode & ~0o222))

    def _writable(self):
        probe = os.path.join(self.card, '.write-probe')
        try:
            with open(probe, 'w'):
                pass
            os.remove(probe)
            return True
        except OSError:
            return False

    def gps(self, what):
        if what == 'gone':
            if self.gps_target:
                raise Refused('COM7 is already gone')
            if not os.path.islink(self.com7):
                raise Refused('this device has no COM7')
            self.gps_target = os.readlink(self.com7)
            self._relink(self.unplugged)
            return 'COM7 is gone'
        if not self.gps_target:
            raise Refused('COM7 is there')
        self._relink(self.gps_target)
        self.gps_target = None
        return 'COM7 is back'

    def _relink(self, target):
        if os.path.lexists(self.com7):
            os.remove(self.com7)
        os.symlink(target, self.com7)

    def describe(self):
        card = ('in' if self.card_in_slot() else 'out') + (', read-only' if self.readonly else '')
        return ['card: ' + card, 'COM7: ' + ('gone' if self.gps_target else 'there')]


# ------------------------------------------------------------------ the session record

class Recorder:
    """Writes the touches, the faults and the requests the host heard, as they happen."""

    def __init__(self, path):
        self.out = open(path, 'w', encoding='utf-8')
        self.start = None
        self.out.write('# device session of %s: T = seconds since the device was up, [n] = requests the host\n'
                       '# had heard before it. Play it back with ./run device --replay FILE\n'
                       % time.strftime('%Y-%m-%d %H:%M:%S'))

    def up(self):
        self.start = now()
        self._write('up')

    def action(self, heard, text):
        if self.start is not None:
            self._write('[%d] %s' % (heard, text))

    def heard(self, request):
        if self.start is not None:
            self._write('heard %s' % request)

    def _write(self, text):
        self.out.write('%.3f %s\n' % (now() - (self.start or now()), text))
        self.out.flush()

    def close(self):
        self.out.close()


def read_session(path):
    """(actions, requests): actions are (T, n, text) in order, requests the 'C/A' the host heard."""
    actions, requests = [], []
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith('#'):
                continue
            m = re.match(r'^(\d+(?:\.\d+)?) (?:up|heard (-?\d+/-?\d+)|\[(\d+)\] (.+))$', line)
            if not m:
                raise Refused('%s:%d: not a session line: %s' % (path, number, line))
            if m.group(2):
                requests.append(m.group(2))
            elif m.group(3):
                actions.append((float(m.group(1)), int(m.group(3)), m.group(4)))
    return actions, requests


def first_difference(expected, heard):
    for i, (a, b) in enumerate(zip(expected, heard)):
        if a != b:
            return 'request %d: recorded %s, the replay heard %s' % (i + 1, a, b)
    if len(heard) < len(expected):
        return 'request %d: recorded %s, the replay heard nothing more' % (len(heard) + 1, expected[len(heard)])
    if len(heard) > len(expected):
        return 'request %d: the recording ends, the replay heard %s' % (len(expected) + 1, heard[len(expected)])
    return None


# ------------------------------------------------------------------ the console

REQUEST = re.compile(r'^\d+ request (-?\d+/-?\d+)')
RECORDED = ('card', 'host', 'send', 'dab', 'display', 'gps')


class Console:
    def __init__(self, args):
        self.args = args
        self.bench = Bench(args.prefix)
        self.agent = None
        self.agent_ready = threading.Event()
        self.stop = threading.Event()
        self.heard = []            # the requests the host heard, 'C/A', since the device was up
        self.heard_lock = threading.Condition()
        self.watchers = []
        self.faults = {}           # what the host was told, for state
        self.recorder = Recorder(args.record) if args.record else None
        self.session = read_session(args.replay) if args.replay else None   # a bad file stops the device at once
        self.status = 0

    # -------------------------------------------------------------- events from the agent
    def on_event(self, event):
        kind, _, rest = event.partition(' ')
        if kind == 'touch':
            with self.heard_lock:
                if self.recorder:
                    self.recorder.action(len(self.heard), rest)
                self.tell_watchers('touch ' + rest)
        elif kind == 'traffic':
            self.on_traffic(rest)

    def on_traffic(self, line):
        m = REQUEST.match(line)
        with self.heard_lock:
            if m:
                self.heard.append(m.group(1))
                if self.recorder:
                    self.recorder.heard(m.group(1))
                self.heard_lock.notify_all()
            self.tell_watchers(line.split(' ', 1)[-1])

    # The watch is one timeline: the touches, what the console did, and the host's traffic.
    def tell_watchers(self, line):
        text = ('%s %s\n' % (clock(), line)).encode('utf-8')
        for w in list(self.watchers):
            try:
                w.sendall(text)
            except OSError:
                self.watchers.remove(w)

    # -------------------------------------------------------------- commands
    def run(self, line):
        """(lines, text) of one command; Refused when it cannot be done."""
        words = line.split()
        if not words:
            raise Refused('empty command')
        verb = words[0]
        if verb == 'help':
            return HELP.split('\n'), ''
        if verb == 'quit':
            self.stop.set()
            return [], 'the device stops'
        if not self.agent_ready.is_set():
            raise Refused('the device is not up yet')
        if verb == 'state':
            lines, _ = self.agent.call('state')
            lines = [l for l in lines if not l.startswith('card:')] + self.bench.describe()
            return lines + ['faults: ' + (', '.join(self.faults.values()) or 'none')], ''
        if verb == 'touch':
            return self.agent.call(line)
        if verb == 'shot':
            return self.shot(words)
        if verb not in RECORDED:
            raise Refused('unknown command %s (help lists them)' % verb)
        lines, text = self.fault(verb, words, line)
        with self.heard_lock:
            if self.recorder:
                self.recorder.action(len(self.heard), ' '.join(words) if verb != 'dab' else line)
            if verb in ('card', 'gps', 'display'):   # the host tells of the others itself
                self.tell_watchers('console: ' + ' '.join(words))
        return lines, text

    def fault(self, verb, words, line):
        if verb == 'card':
            if words[1:] == ['out']:
                return [], self.bench.card_out()
            if words[1:] == ['in']:
                return [], self.bench.card_in()
            if len(words) == 3 and words[1] == 'readonly' and words[2] in ('on', 'off'):
                self.bench.set_readonly(words[2] == 'on')
                return [], 'the card is read-only' if words[2] == 'on' else 'the card is writable'
            raise Refused('usage: card out|in, card readonly on|off')
        if verb == 'gps':
            if words[1:] not in (['gone'], ['back']):
                raise Refused('usage: gps gone|back')
            return [], self.bench.gps(words[1])
        lines, text = self.agent.call(line)
        if verb == 'host':
            key, on = 'host ' + words[1], words[-1] not in ('off', '0')
            if on:
                self.faults[key] = ' '.join(words) + (' ms' if words[1] == 'lag' else '')
            else:
                self.faults.pop(key, None)
        return lines, text

    def shot(self, words):
        if len(words) != 2 or not words[1].lower().endswith('.png'):
            raise Refused('usage: shot FILE.png')
        target = os.path.abspath(words[1])
        bmp = target[:-4] + '.capture.bmp'
        try:
            self.agent.call('shot Z:' + bmp.replace('/', '\\'))
            made = subprocess.run(['convert', bmp, target], capture_output=True, text=True)
            if made.returncode != 0:
                raise Refused('the screen could not be written to %s: %s' % (target, made.stderr.strip()))
            size = subprocess.run(['identify', '-format', '%wx%h', target], capture_output=True, text=True).stdout
        finally:
            if os.path.exists(bmp):
                os.remove(bmp)
        return [], '%s (%s)' % (target, size)

    # -------------------------------------------------------------- connections
    def serve(self, conn):
        f = conn.makefile('r', encoding='utf-8', errors='replace', newline='\n')
        first = f.readline().rstrip('\r\n')
        if first.startswith('@hello agent'):
            self.agent = Agent(conn, f, self.on_event)
            threading.Thread(target=self.wait_until_up, daemon=True).start()
            return
        try:
            if first.strip() == 'watch':
                with self.heard_lock:
                    self.watchers.append(conn)
                conn.sendall(b'| the touches, the faults and the host\'s traffic follow; interrupt to stop\n')
                return   # the connection stays with the watchers
            lines, text = self.run(first.strip())
            reply = ''.join('| %s\n' % l for l in lines) + ('ok %s\n' % text if text else 'ok\n')
        except Exception as e:   # a refusal or whatever went wrong: the client hears why
            reply = 'err %s\n' % e
        conn.sendall(reply.encode('utf-8'))
        conn.close()

    def wait_until_up(self, timeout=60):
        deadline = now() + timeout
        while now() < deadline and not self.stop.is_set():
            try:
                self.agent.call('ready', timeout=10)
                break
            except Refused:
                time.sleep(0.2)
        else:
            print('[console] the device did not come up', file=sys.stderr)
            self.status = 1
            self.stop.set()
            return
        with self.heard_lock:
            self.heard.clear()
            if self.recorder:
                self.recorder.up()
        self.agent_ready.set()
        if self.session:
            self.status = self.replay(*self.session)
            self.stop.set()

    # -------------------------------------------------------------- replay
    def wait_heard(self, count, timeout):
        with self.heard_lock:
            return self.heard_lock.wait_for(lambda: len(self.heard) >= count, timeout)

    def replay(self, actions, expected):
        say('replaying %d actions; the host heard %d requests then' % (len(actions), len(expected)))
        last_t, last_at = 0.0, now()
        for t, count, text in actions:
            # The host must have heard what it had heard at this point, and the pause since the
            # last action is kept, so that a slow machine replays the same touches on the same screens.
            self.wait_heard(count, 20)
            time.sleep(max(0.0, (t - last_t) - (now() - last_at)))
            last_t, last_at = t, now()
            try:
                if text.split()[0] in ('down', 'up'):
                    self.agent.call(text)
                else:
                    self.run(text)
            except Refused as e:
                say('replay: %s: %s' % (text, e))
        self.wait_heard(len(expected), 20)
        time.sleep(2)   # anything more the host hears after the last expected request
        with self.heard_lock:
            heard = list(self.heard)
        difference = first_difference(expected, heard)
        if difference:
            say('replay differs: ' + difference)
            return 1
        say('replay: the host heard the same %d requests in the same order: %s' % (len(heard), ' '.join(heard)))
        return 0


def say(text):
    print('[console] ' + text, flush=True)


def serve(args):
    try:
        console = Console(args)
    except (Refused, OSError) as e:
        say('cannot: %s' % e)
        return 2
    server = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    server.bind(('127.0.0.1', 0))
    server.listen(8)
    server.settimeout(0.2)
    portfile = os.path.join(args.prefix, '.device-console')
    with open(portfile, 'w') as f:
        f.write('%d %d\n' % (server.getsockname()[1], os.getpid()))
    signal.signal(signal.SIGTERM, lambda *_: console.stop.set())
    signal.signal(signal.SIGINT, lambda *_: console.stop.set())
    try:
        while not console.stop.is_set():
            try:
                conn, _ = server.accept()
            except socket.timeout:
                continue
            conn.settimeout(None)
            threading.Thread(target=console.serve, args=(conn,), daemon=True).start()
    finally:
        os.remove(portfile)
        console.bench.restore()
        if console.recorder:
            console.recorder.close()
    return console.status


# ------------------------------------------------------------------ the client

def connect(prefix):
    try:
        with open(os.path.join(prefix, '.device-console')) as f:
            port = int(f.read().split()[0])
        return socket.create_connection(('127.0.0.1', port), timeout=5)
    except (OSError, ValueError, IndexError):
        raise Refused('no device runs in %s (start one: ./run device --headless)' % prefix)


def send(prefix, line):
    """Prints the answer of one command; True when it was done."""
    conn = connect(prefix)
    conn.settimeout(None if line.strip() == 'watch' else 60)
    conn.sendall((line.strip() + '\n').encode('utf-8'))
    ok = False
    try:
        for answer in conn.makefile('r', encoding='utf-8', newline='\n'):
            answer = answer.rstrip('\n')
            if answer.startswith('| '):
                print(answer[2:], flush=True)
            elif answer.startswith('ok'):
                if answer[3:]:
                    print(answer[3:])
                ok = True
            elif answer.startswith('err'):
                print('cannot: ' + answer[4:], file=sys.stderr)
            else:
                print(answer, flush=True)   # the traffic of a watch
    except KeyboardInterrupt:
        ok = True
    finally:
        conn.close()
    return ok


def client(args):
    try:
        if args.command:
            return 0 if send(args.prefix, ' '.join(args.command)) else 1
        status = 0
        prompt = 'device> ' if sys.stdin.isatty() else ''
        while True:
            try:
                line = input(prompt)
            except EOFError:
                return status
            if line.strip() and not line.strip().startswith('#'):
                status |= 0 if send(args.prefix, line) else 1
                if line.split()[0] == 'quit':
                    return status
    except Refused as e:
        print('cannot: %s' % e, file=sys.stderr)
        return 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest='mode', required=True)
    s = sub.add_parser('serve')
    s.add_argument('--prefix', required=True)
    group = s.add_mutually_exclusive_group()
    group.add_argument('--record')
    group.add_argument('--replay')
    r = sub.add_parser('restore')
    r.add_argument('--prefix', required=True)
    r.add_argument('--check')
    c = sub.add_parser('client')
    c.add_argument('--prefix', required=True)
    c.add_argument('command', nargs=argparse.REMAINDER)
    args = parser.parse_args()
    if args.mode == 'restore':
        Bench(args.prefix)   # restores as it starts
        try:
            if args.check:
                read_session(args.check)
        except (Refused, OSError) as e:
            say('cannot: %s' % e)
            sys.exit(2)
        sys.exit(0)
    sys.exit(serve(args) if args.mode == 'serve' else client(args))


if __name__ == '__main__':
    main()
