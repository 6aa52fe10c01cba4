"""The console's commands: what a client or a session asks of the running device, the faults the
host was told of, and the timeline the watchers follow."""

import os
import re
import secrets
import shutil
import subprocess
import tempfile
import threading

import screens
from faults import HardwareFaults
from handshake import write_private
from hostcodes import named
from session import RECORDED, Recorder, read_session
from snapshots import BEFORE_LOAD, SnapshotError, Snapshots, parse_command
from talk import REBOOT, Refused
from watchers import Watchers

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
snapshot save NAME [--replace]   keep the card, the store and the receiver's state as NAME
snapshot load NAME     stop the device, make it what NAME holds, and boot it again
snapshot undo          stop the device and boot it again as it was before the last load
snapshot list|delete NAME   the snapshots there are, or one fewer
quit                   end every program of the device"""


REQUEST = re.compile(r'^\d+ request (-?\d+/-?\d+)')


class Console:
    def __init__(self, args):
        self.args = args
        self.prefix = os.path.realpath(args.prefix)
        self.home = os.path.realpath(args.home)
        self.hardware = HardwareFaults(self.prefix)
        self.token = secrets.token_hex(16)
        self.agent = None
        self.agent_ready = threading.Event()
        self.stop = threading.Event()
        self.heard = []            # the requests the host heard, 'C/A', since the device was up
        self.heard_lock = threading.Condition()
        self.watchers = Watchers()
        self.faults = {}           # what the host was told, for state
        self.recorder = Recorder(args.record) if args.record else None
        self.session = read_session(args.replay) if args.replay else None   # a bad file stops the device at once
        self.screens = screens.make(self, args)
        self.status = 0

    # -------------------------------------------------------------- events from the agent
    def on_event(self, event):
        kind, _, rest = event.partition(' ')
        if kind == 'touch':
            if self.screens:
                self.screens.touch()
            with self.heard_lock:
                if self.recorder:
                    self.recorder.action(len(self.heard), rest)
                    if self.screens:
                        self.screens.action(rest)
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
            elif self.screens and line.split(' ', 1)[-1].startswith('due: '):
                self.screens.host_due()
            self.tell_watchers(line.split(' ', 1)[-1])

    # The watch is one timeline: the touches, what the console did, and the host's traffic.
    def tell_watchers(self, line):
        self.watchers.tell(named(line))

    def wait_heard(self, count, timeout):
        with self.heard_lock:
            return self.heard_lock.wait_for(lambda: len(self.heard) >= count or self.agent.gone.is_set(), timeout)

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
            lines = [l for l in lines if not l.startswith('card:')] + self.hardware.describe()
            return lines + ['faults: ' + (', '.join(self.faults.values()) or 'none')], ''
        if verb == 'touch':
            return self.agent.call(line)
        if verb == 'shot':
            return self.shot(words)
        if verb not in RECORDED:
            raise Refused('unknown command %s (help lists them)' % verb)
        if self.screens:
            self.screens.before_action()   # the step before ends with what it showed until now
        lines, text = self.fault(verb, words, line)
        with self.heard_lock:
            if self.recorder:
                self.recorder.action(len(self.heard), ' '.join(words) if verb != 'dab' else line)
                if self.screens:
                    self.screens.action(' '.join(words))
            if verb in ('card', 'gps', 'display'):   # the host tells of the others itself
                self.tell_watchers('console: ' + ' '.join(words))
        return lines, text

    def fault(self, verb, words, line):
        if verb == 'card':
            if words[1:] == ['out']:
                return [], self.hardware.card_out()
            if words[1:] == ['in']:
                return [], self.hardware.card_in()
            if len(words) == 3 and words[1] == 'readonly' and words[2] in ('on', 'off'):
                self.hardware.set_readonly(words[2] == 'on')
                return [], 'the card is read-only' if words[2] == 'on' else 'the card is writable'
            raise Refused('usage: card out|in, card readonly on|off')
        if verb == 'gps':
            if words[1:] not in (['gone'], ['back']):
                raise Refused('usage: gps gone|back')
            return [], self.hardware.gps(words[1])
        lines, text = self.agent.call(line)
        if verb == 'host' and words[1:] != ['tick']:
            key, on = 'host ' + words[1], words[-1] != 'off' and words[-1].strip('0') != ''
            if on:
                self.faults[key] = ' '.join(words) + (' ms' if words[1] == 'lag' else '')
            else:
                self.faults.pop(key, None)
        return lines, text

    # A load stops the device: device.sh stops its programs, loads the snapshot and boots again.
    def snapshot(self, words):
        snapshots = Snapshots(self.home, self.prefix)
        try:
            verb, name, replace = parse_command(words[1:])
            if verb == 'list':
                return snapshots.describe(), ''
            name = name or BEFORE_LOAD
            if verb == 'save':
                snapshots.save_as(name, replace, self.hardware.changed_modes())
                return [], 'snapshot %s saved in %s' % (name, snapshots.root)
            if verb == 'delete':
                snapshots.delete(name)
                return [], 'snapshot %s deleted' % name
            if self.recorder or self.session:
                raise Refused('a recording or a replay goes on from where it started; '
                              'start one from a snapshot instead (--snapshot NAME, --replay FILE --from NAME)')
            if not os.path.isdir(snapshots.path(name)):
                raise Refused('there is no load to undo' if verb == 'undo' else
                              'there is no snapshot %s (snapshot list shows them)' % name)
        except SnapshotError as e:
            raise Refused(str(e))
        write_private(os.path.join(self.prefix, '.device-load'), ' '.join(words[1:]))
        self.status = REBOOT
        self.stop.set()
        if verb == 'undo':
            return [], 'the device stops and boots again as it was before the last load'
        return [], 'the device stops and boots again from snapshot %s (snapshot undo brings this one back)' % name

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

