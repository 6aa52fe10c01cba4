#!/usr/bin/python3
"""The console of a running simulated device: break it, watch it, record and replay it, keep snapshots.

  console.py serve --prefix P [--record FILE | --replay FILE]
      Runs beside the device (devicesim/device.sh starts it): listens on 127.0.0.1, writes
      "PORT PID TOKEN" to P/.device-console (readable by its user only) and waits for the device's
      agent (deviceagent.exe, which does inside the device what needs its windows, input and
      display). Every connection proves it knows the token first; the agent's too. The card slot
      and the GPS module's port are handled here, on the PC's side. Ends on "quit", on SIGTERM,
      when a replay is over (exit status 0 when the host heard the same requests, 1 when not), or
      with status 75 when a snapshot is to be loaded (P/.device-load names it; device.sh reboots).
  console.py client --prefix P [COMMAND...]
      Sends one command and prints the answer; with no command, reads commands line by line.
      A command that cannot be done prints why and exits 1. "snapshot ..." works without a device.
  console.py restore --prefix P [--check FILE]
      Puts back what a console or a device killed on the spot left: the person's device held aside
      for a session, the card (in its slot, with its own modes) and COM7; with --check, exits 2
      when FILE is not a session that can be replayed.
  console.py hold --prefix P [--from NAME]
      Holds the person's device aside and starts a new one (or snapshot NAME) in its place; the
      next restore gives it back.
  console.py snapshot --prefix P save|load|delete NAME | list
      The same as the console's snapshot commands, on a device that is not running.
"""

import argparse
import hmac
import json
import os
import queue
import re
import secrets
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from snapshots import CARD_NAME, HELD, SnapshotError, Snapshots, check_name  # noqa: E402

REBOOT = 75   # the console's exit status when the device is to boot again from a snapshot
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
snapshot save NAME     keep the card, the store and the receiver's state as NAME
snapshot load NAME     stop the device, make it what NAME holds, and boot it again
snapshot list|delete NAME   the snapshots there are, or one fewer
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
    """The connection to deviceagent.exe: one command at a time, each with an id that its answer
    repeats, so that an answer that comes after its command gave up answers nothing else; events
    go to on_event."""

    def __init__(self, conn, lines, on_event):
        self.conn, self.file, self.on_event = conn, lines, on_event
        self.answers = queue.Queue()
        self.lock = threading.Lock()
        self.asked = 0
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
            self.asked += 1
            ask = '#%d ' % self.asked
            self.conn.sendall((ask + command + '\n').encode('utf-8'))
            lines = []
            deadline = now() + timeout
            while True:
                try:
                    line = self.answers.get(timeout=max(0.1, deadline - now()))
                except queue.Empty:
                    raise Refused('the device did not answer within %d s' % timeout)
                if line is None:
                    raise Refused('the device has stopped')
                if not line.startswith(ask):
                    note('dropped an answer that came too late: %s' % line)
                    continue
                line = line[len(ask):]
                if line.startswith('| '):
                    lines.append(line[2:])
                elif line == 'ok' or line.startswith('ok '):
                    return lines, line[3:]
                elif line == 'err' or line.startswith('err '):
                    raise Refused(line[4:] or 'refused')


# ------------------------------------------------------------------ the PC's side of the device

class Bench:
    """The card slot and the GPS module's port, which live outside the device's programs. What a
    fault changed is written, before it is changed, to <prefix>.console-undo, so that a console
    killed on the spot is undone exactly by the next one."""

    def __init__(self, prefix):
        prefix = os.path.abspath(prefix)
        self.card = os.path.join(prefix, 'drive_c', CARD_NAME)
        self.pulled = os.path.join(prefix, '.card-out')   # outside drive C:, where no program looks
        self.com7 = os.path.join(prefix, 'dosdevices', 'com7')
        self.unplugged = os.path.join(prefix, '.gps-unplugged')   # never exists: COM7 leads nowhere
        self.undo_file = prefix.rstrip('/') + '.console-undo'
        self.readonly = False
        self.mounted = False
        self.undo = {}
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
        self.undo = self._read_undo()
        self._give_back_modes()
        if 'com7' in self.undo:
            self.gps('back')
        self.readonly = False

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
            self._take_write_bits()
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
        self._give_back_modes()

    # Links are skipped, never followed: what they lead to is not the card's. The exact modes are
    # noted before the first is changed.
    def _take_write_bits(self):
        modes = dict(self.undo.get('modes', {}))
        for folder, dirs, files in os.walk(self.card):
            for path in [folder] + [os.path.join(folder, n) for n in dirs + files]:
                mode = os.lstat(path).st_mode
                rel = os.path.relpath(path, self.card)
                if not stat.S_ISLNK(mode) and mode & 0o222 and rel not in modes:
                    modes[rel] = stat.S_IMODE(mode)
        self.undo['modes'] = modes
        self._write_undo()
        for rel, mode in modes.items():
            set_mode(os.path.join(self.card, rel), mode & ~0o222)

    def _give_back_modes(self):
        modes = self.undo.pop('modes', None)
        if not modes or not self.card_in_slot():
            if modes:
                self.undo['modes'] = modes   # the card is out: given back when it is in again
            return
        for rel, mode in modes.items():
            set_mode(os.path.join(self.card, rel), mode)
        self._write_undo()

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
            if 'com7' in self.undo:
                raise Refused('COM7 is already gone')
            if not os.path.islink(self.com7):
                raise Refused('this device has no COM7')
            self.undo['com7'] = os.readlink(self.com7)
            self._write_undo()
            self._relink(self.unplugged)
            return 'COM7 is gone'
        if 'com7' not in self.undo:
            raise Refused('COM7 is there')
        self._relink(self.undo['com7'])
        del self.undo['com7']
        self._write_undo()
        return 'COM7 is back'

    def _relink(self, target):
        if os.path.lexists(self.com7):
            os.remove(self.com7)
        os.symlink(target, self.com7)

    def _read_undo(self):
        try:
            with open(self.undo_file, encoding='utf-8') as f:
                undo = json.load(f)
            return undo if isinstance(undo, dict) else {}
        except (OSError, ValueError):
            return {}

    def _write_undo(self):
        if not self.undo:
            if os.path.exists(self.undo_file):
                os.remove(self.undo_file)
            return
        write_private(self.undo_file, json.dumps(self.undo, ensure_ascii=False))

    def describe(self):
        card = ('in' if self.card_in_slot() else 'out') + (', read-only' if self.readonly else '')
        return ['card: ' + card, 'COM7: ' + ('gone' if 'com7' in self.undo else 'there')]


def set_mode(path, mode):
    """chmod that never follows a link, even one put in the file's place meanwhile."""
    try:
        fd = os.open(path, os.O_PATH | os.O_NOFOLLOW)
    except OSError:
        return
    try:
        if not stat.S_ISLNK(os.fstat(fd).st_mode):
            os.chmod('/proc/self/fd/%d' % fd, mode)
    except OSError:
        pass
    finally:
        os.close(fd)


def write_private(path, text):
    """Writes a file only its user can read, whole or not at all."""
    work = '%s.%d.new' % (path, os.getpid())
    fd = os.open(work, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_NOFOLLOW, 0o600)
    with os.fdopen(fd, 'w', encoding='utf-8') as f:
        f.write(text)
    os.replace(work, path)


# ------------------------------------------------------------------ the session record

RECORDED = ('card', 'host', 'send', 'dab', 'display', 'gps')   # the faults
SESSION_VERBS = ('touch', 'down', 'up') + RECORDED

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
                # A session replays what a finger and the console's faults did, nothing that
                # reaches outside the device or ends it.
                if m.group(4).split()[0] not in SESSION_VERBS:
                    raise Refused('%s:%d: a session holds only touches and faults: %s' % (path, number, line))
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
NO_TOKEN = 'this console answers only its own user: ./run console proves it with the token in the prefix\'s .device-console'


class Watcher:
    """One watch client, fed from a bounded queue by a thread of its own: a slow client loses
    lines, and is told how many, but never holds up the agent, and with it the device's input."""

    LIMIT = 2000

    def __init__(self, conn):
        self.conn, self.open = conn, True
        self.lines = queue.Queue(self.LIMIT)
        self.lost, self.lost_lock = 0, threading.Lock()
        threading.Thread(target=self._send, daemon=True).start()

    def tell(self, text):
        try:
            self.lines.put_nowait(text)
        except queue.Full:
            with self.lost_lock:
                self.lost += 1

    def _send(self):
        while self.open:
            try:
                text = self.lines.get(timeout=0.5)
            except queue.Empty:
                text = ''
            with self.lost_lock:
                lost, self.lost = self.lost, 0
            if lost:
                text = '%s this watch was too slow: %d lines lost\n' % (clock(), lost) + text
            try:
                if text:
                    self.conn.sendall(text.encode('utf-8'))
            except OSError:
                self.open = False
        self.conn.close()


class Console:
    def __init__(self, args):
        self.args = args
        self.prefix = os.path.abspath(args.prefix)
        self.bench = Bench(self.prefix)
        self.token = secrets.token_hex(16)
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
        text = '%s %s\n' % (clock(), line)
        self.watchers = [w for w in self.watchers if w.open]
        for w in self.watchers:
            w.tell(text)

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
        if verb == 'snapshot':
            return self.snapshot(words)
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

    # A load stops the device: device.sh stops its programs, loads the snapshot and boots again.
    def snapshot(self, words):
        snapshots = Snapshots(self.prefix)
        try:
            if words[1:] == ['list']:
                return snapshots.describe(), ''
            if len(words) != 3 or words[1] not in ('save', 'load', 'delete'):
                raise Refused('usage: snapshot save|load|delete NAME, snapshot list')
            verb, name = words[1], check_name(words[2])
            if verb == 'save':
                snapshots.save(name, self.bench.undo.get('modes'))
                return [], 'snapshot %s saved in %s' % (name, snapshots.root)
            if verb == 'delete':
                snapshots.delete(name)
                return [], 'snapshot %s deleted' % name
            if self.recorder or self.session:
                raise Refused('a recording or a replay goes on from where it started; '
                              'start one from a snapshot instead (--snapshot NAME, --replay FILE --from NAME)')
            if not os.path.isdir(snapshots.path(name)):
                raise Refused('there is no snapshot %s (snapshot list shows them)' % name)
        except SnapshotError as e:
            raise Refused(str(e))
        write_private(os.path.join(self.prefix, '.device-load'), name)
        self.status = REBOOT
        self.stop.set()
        return [], 'the device stops and boots again from snapshot %s' % name

    # The path comes whole from the client, which resolved it where it was run; the capture is
    # made in a folder of the console's own, so nothing beside the picture is touched.
    def shot(self, words):
        if len(words) != 2 or not words[1].lower().endswith('.png') or not os.path.isabs(words[1]):
            raise Refused('usage: shot FILE.png')
        target = words[1]
        work = tempfile.mkdtemp(prefix='device-shot-')
        bmp = os.path.join(work, 'capture.bmp')
        try:
            self.agent.call('shot Z:' + bmp.replace('/', '\\'))
            made = subprocess.run(['convert', bmp, target], capture_output=True, text=True)
            if made.returncode != 0:
                raise Refused('the screen could not be written to %s: %s' % (target, made.stderr.strip()))
            size = subprocess.run(['identify', '-format', '%wx%h', target], capture_output=True, text=True).stdout
        finally:
            shutil.rmtree(work, ignore_errors=True)
        return [], '%s (%s)' % (target, size)

    # -------------------------------------------------------------- connections
    def serve(self, conn):
        conn.settimeout(10)   # the handshake comes at once or not at all
        f = conn.makefile('r', encoding='utf-8', errors='replace', newline='\n')
        try:
            words = f.readline(1024).split()
            if words[:2] == ['@hello', 'agent']:
                return self.take_agent(conn, f, words[2:])
            if len(words) != 3 or words[0] != 'hello' or \
                    not hmac.compare_digest(words[2], proof(self.token, 'client', words[1])):
                raise Refused(NO_TOKEN)
            conn.sendall(('welcome %s\n' % proof(self.token, 'console', words[1])).encode('utf-8'))
            first = f.readline(65536).strip()
            conn.settimeout(None)
            if first == 'watch':
                self.watchers.append(Watcher(conn))
                self.watchers[-1].tell('| the touches, the faults and the host\'s traffic follow; interrupt to stop\n')
                return   # the connection stays with its watcher
            lines, text = self.run(first)
            reply = ''.join('| %s\n' % l for l in lines) + ('ok %s\n' % text if text else 'ok\n')
        except Exception as e:   # a refusal or whatever went wrong: the client hears why
            reply = 'err %s\n' % e
        try:
            conn.sendall(reply.encode('utf-8'))
        except OSError:
            pass
        conn.close()

    def take_agent(self, conn, f, words):
        if not words or not hmac.compare_digest(words[0], self.token) or self.agent:
            conn.sendall(('err %s\n' % (NO_TOKEN if not words or words[0] != self.token else 'the agent is here already')).encode('utf-8'))
            conn.close()
            return
        conn.settimeout(None)
        self.agent = Agent(conn, f, self.on_event)
        threading.Thread(target=self.wait_until_up, daemon=True).start()

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


def note(text):
    print('[console] ' + text, file=sys.stderr, flush=True)


def proof(token, who, nonce):
    """What only a holder of the token can say about a nonce; the token itself never crosses."""
    return hmac.new(token.encode(), ('%s %s' % (who, nonce)).encode(), 'sha256').hexdigest()


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
    door = os.path.join(console.prefix, '.device-console')
    write_private(door, '%d %d %s\n' % (server.getsockname()[1], os.getpid(), console.token))
    signal.signal(signal.SIGTERM, lambda *_: console.stop.set())
    signal.signal(signal.SIGINT, lambda *_: console.stop.set())
    try:
        while not console.stop.is_set():
            try:
                conn, _ = server.accept()
            except socket.timeout:
                continue
            threading.Thread(target=console.serve, args=(conn,), daemon=True).start()
    finally:
        os.remove(door)
        console.bench.restore()
        if console.recorder:
            console.recorder.close()
    return console.status


# ------------------------------------------------------------------ the client

class NoDevice(Refused):
    pass


def connect(prefix):
    """A connection to the console whose door file is in prefix, once it has proved it knows the
    token: a stale file may name another program's port."""
    try:
        with open(os.path.join(prefix, '.device-console')) as f:
            port, _, token = f.read().split()[:3]
        conn = socket.create_connection(('127.0.0.1', int(port)), timeout=5)
    except (OSError, ValueError):
        raise NoDevice('no device runs in %s (start one: ./run device --headless)' % prefix)
    nonce = secrets.token_hex(16)
    try:
        conn.sendall(('hello %s %s\n' % (nonce, proof(token, 'client', nonce))).encode())
        answer = conn.makefile('r', encoding='utf-8', newline='\n').readline(1024).split()
    except OSError:
        answer = []
    if answer[:1] != ['welcome'] or not hmac.compare_digest(answer[-1], proof(token, 'console', nonce)):
        conn.close()
        raise NoDevice('no device runs in %s (what answers on port %s is not its console)' % (prefix, port))
    return conn


def exchange(prefix, line, show):
    """Sends one command and hands each answer line to show(kind, text); True when it was done."""
    conn = connect(prefix)
    conn.settimeout(None if line == 'watch' else 60)
    conn.sendall((line + '\n').encode('utf-8'))
    ok = False
    try:
        for answer in conn.makefile('r', encoding='utf-8', newline='\n'):
            answer = answer.rstrip('\n')
            if answer.startswith('| '):
                show('line', answer[2:])
            elif answer.startswith('ok'):
                show('ok', answer[3:])
                ok = True
            elif answer.startswith('err'):
                show('err', answer[4:])
            else:
                show('line', answer)   # the traffic of a watch
    except KeyboardInterrupt:
        ok = True
    finally:
        conn.close()
    return ok


def printed(kind, text):
    if kind == 'err':
        print('cannot: ' + text, file=sys.stderr)
    elif text or kind == 'line':
        print(text, flush=True)


def send(prefix, line):
    """Prints the answer of one command; True when it was done."""
    words = line.split()
    if words[:1] == ['shot'] and len(words) == 2:
        line = 'shot ' + os.path.abspath(words[1])   # where the caller is, not where the device started
    if words[:1] == ['snapshot']:
        return snapshot_client(prefix, words)
    return exchange(prefix, line.strip(), printed)


# Snapshots are kept whether or not a device runs; a running one does them itself.
def snapshot_client(prefix, words):
    try:
        done = exchange(prefix, ' '.join(words), printed)
    except NoDevice:
        if device_running(prefix):
            raise Refused('the device in %s is starting or stopping; try again in a moment' % prefix)
        return snapshot_offline(prefix, words[1:])
    if done and words[1:2] == ['load']:
        print('waiting for the device to boot again...', flush=True)
        if not until_up(prefix, 120):
            raise Refused('the device did not come up again (see its logs)')
        print('the device is up, from snapshot %s' % words[2], flush=True)
    return done


def until_up(prefix, timeout):
    deadline = now() + timeout
    while now() < deadline:
        time.sleep(0.5)
        try:
            if exchange(prefix, 'state', lambda kind, text: None):
                return True
        except NoDevice:
            pass
    return False


def snapshot_offline(prefix, words):
    snapshots = Snapshots(prefix)
    try:
        if words == ['list']:
            print('\n'.join(snapshots.describe()))
            return True
        if len(words) != 2 or words[0] not in ('save', 'load', 'delete'):
            raise Refused('usage: snapshot save|load|delete NAME, snapshot list')
        name = check_name(words[1])
        if words[0] != 'delete' and os.path.isdir(snapshots.path(HELD)):
            raise Refused('a tour, recording or replay was stopped on the spot and your device is still set aside: '
                          'the next ./run device gives it back first')
        if words[0] == 'save':
            snapshots.save(name)
        elif words[0] == 'delete':
            snapshots.delete(name)
        else:
            Bench(prefix)   # the card back in its slot with its own modes first
            snapshots.load(name)
    except SnapshotError as e:
        raise Refused(str(e))
    print('snapshot %s %s (no device runs; %s)' % (name, {'save': 'saved', 'load': 'loaded', 'delete': 'deleted'}[words[0]],
                                                     'the next ./run device boots from it' if words[0] == 'load' else snapshots.root))
    return True


def device_running(prefix):
    """True when the pid file names a living process started when the file says: a reused pid is not ours."""
    try:
        with open(os.path.join(prefix, '.device.pid')) as f:
            pid, started = f.read().split()[:2]
        return process_start(pid) == started
    except (OSError, ValueError):
        return False


def process_start(pid):
    try:
        with open('/proc/%d/stat' % int(pid)) as f:
            return f.read().rsplit(')', 1)[1].split()[19]   # field 22: the start time in clock ticks
    except (OSError, ValueError, IndexError):
        return None


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


# ------------------------------------------------------------------ before and after a device runs

def restore(args):
    """Puts back what a killed console or device left: the held device, then the card and COM7."""
    snapshots = Snapshots(args.prefix)
    try:
        Bench(args.prefix)
        if os.path.isdir(snapshots.path(HELD)):
            subprocess.run(['wineserver', '-k'], env=dict(os.environ, WINEPREFIX=snapshots.prefix), capture_output=True)
            subprocess.run(['wineserver', '-w'], env=dict(os.environ, WINEPREFIX=snapshots.prefix), capture_output=True)
            snapshots.put_back()
            say('your device is back as it was before the last tour, recording or replay')
        if args.check:
            read_session(args.check)
    except (Refused, SnapshotError, OSError) as e:
        say('cannot: %s' % e)
        return 2
    return 0


def hold(args):
    snapshots = Snapshots(args.prefix)
    try:
        snapshots.hold()
        if args.from_snapshot:
            snapshots.load(check_name(args.from_snapshot))
        else:
            snapshots.wipe()
    except (SnapshotError, OSError) as e:
        say('cannot: %s' % e)
        return 2
    return 0


def snapshot_command(args):
    try:
        return 0 if snapshot_offline(args.prefix, args.words) else 1
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
    h = sub.add_parser('hold')
    h.add_argument('--prefix', required=True)
    h.add_argument('--from', dest='from_snapshot')
    n = sub.add_parser('snapshot')
    n.add_argument('--prefix', required=True)
    n.add_argument('words', nargs='+')
    c = sub.add_parser('client')
    c.add_argument('--prefix', required=True)
    c.add_argument('command', nargs=argparse.REMAINDER)
    args = parser.parse_args()
    modes = {'serve': serve, 'client': client, 'restore': restore, 'hold': hold, 'snapshot': snapshot_command}
    sys.exit(modes[args.mode](args))


if __name__ == '__main__':
    main()
