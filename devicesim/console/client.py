"""The console's client: one command to the running device's console and its answer, or, with no
device running, the snapshots kept beside the prefix."""

import os
import secrets
import socket
import sys
import time

from bench import Bench
from handshake import proof, proves, read_door
from snapshots import HELD, SnapshotError, Snapshots, check_name
from talk import NoDevice, Refused, now



def connect(prefix):
    """A connection to the console whose door file is in prefix, once it has proved it knows the
    token: a stale file may name another program's port."""
    try:
        port, token = read_door(prefix)
        conn = socket.create_connection(('127.0.0.1', port), timeout=5)
    except (OSError, ValueError):
        raise NoDevice('no device runs in %s (start one: ./run device --headless)' % prefix)
    nonce = secrets.token_hex(16)
    try:
        conn.sendall(('hello %s %s\n' % (nonce, proof(token, 'client', nonce))).encode())
        answer = conn.makefile('r', encoding='utf-8', newline='\n').readline(1024).split()
    except OSError:
        answer = []
    if answer[:1] != ['welcome'] or not proves(token, 'console', nonce, answer[-1]):
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
