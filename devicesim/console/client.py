"""The console's client: one command to the running device's console and its answer, or, with no
device running, the snapshots kept in the device's home."""

import os
import secrets
import socket
import sys
import time
from collections import namedtuple

from faults import HardwareFaults
from hang import HANG_S
from handshake import proof, proves, read_door
from snapshots import SnapshotError, Snapshots, parse_command, why
from talk import NoDevice, Refused, now

ANSWER_TIMEOUT = HANG_S
RUNNING = '.running'   # in the device's home: "PID START PREFIX" of the device that runs from it
Place = namedtuple('Place', 'home prefix')   # the person's device and the prefix it runs in


def connect(prefix):
    """A connection to the console whose door file is in prefix, once it has proved it knows the
    token: a stale file may name another program's port."""
    try:
        port, token = read_door(prefix)
        conn = socket.create_connection(('127.0.0.1', port), timeout=HANG_S)
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
    """Sends one command and hands each answer line to show(kind, text); True when it was done.
    Refused when the connection is lost or the answer does not come; a watch ends when the
    device does."""
    try:
        line.encode('utf-8')
    except UnicodeEncodeError:
        raise Refused('a command is UTF-8 text; this one is not: %r' % line)
    conn = connect(prefix)
    watch = line == 'watch'
    conn.settimeout(None if watch else ANSWER_TIMEOUT)
    answered = False
    try:
        conn.sendall((line + '\n').encode('utf-8'))
        for answer in conn.makefile('r', encoding='utf-8', errors='replace', newline='\n'):
            answer = answer.rstrip('\n')
            if answer.startswith('| '):
                show('line', answer[2:])
            elif answer.startswith('ok'):
                show('ok', answer[3:])
                return True
            elif answer.startswith('err'):
                show('err', answer[4:])
                return False
            else:
                show('line', answer)   # the traffic of a watch
        answered = watch
    except socket.timeout:
        raise Refused('the device did not answer "%s" within %d s' % (line, ANSWER_TIMEOUT))
    except OSError as e:
        raise Refused('the connection to the device was lost (%s)' % (e.strerror or e))
    except KeyboardInterrupt:
        if watch:
            return True   # the usual end of a watch
        raise
    finally:
        conn.close()
    if answered:
        raise Refused('the watch ended: the device stopped')
    raise Refused('the connection to the device was lost before it answered "%s"' % line)


def printed(kind, text):
    if kind == 'err':
        print('cannot: ' + text, file=sys.stderr)
    elif text or kind == 'line':
        print(text, flush=True)


def send(place, line):
    """Prints the answer of one command; True when it was done."""
    words = line.split()
    if words[:1] == ['shot'] and len(words) == 2:
        line = 'shot ' + os.path.abspath(words[1])   # where the caller is, not where the device started
    if words[:1] == ['snapshot']:
        return snapshot_client(place, words)
    return exchange(place.prefix, line.strip(), printed)


# Snapshots are kept whether or not a device runs; a running one does them itself.
def snapshot_client(place, words):
    try:
        done = exchange(place.prefix, ' '.join(words), printed)
    except NoDevice:
        if device_running(place.home):
            raise Refused('the device of %s is starting or stopping; try again in a moment' % place.home)
        return snapshot_offline(place, words[1:])
    if done and words[1:2] in (['load'], ['undo']):
        print('waiting for the device to boot again...', flush=True)
        if not until_up(place.prefix, HANG_S):
            raise Refused('the device did not come up again (see its logs)')
        print('the device is up, %s' % ('from snapshot %s' % words[2] if words[1] == 'load' else
                                         'as it was before the last load'), flush=True)
    return done


def until_up(prefix, timeout):
    deadline = now() + timeout
    while now() < deadline:
        time.sleep(0.5)
        try:
            if exchange(prefix, 'state', lambda kind, text: None):
                return True
        except Refused:
            pass
    return False


DONE = {'save': 'saved', 'load': 'loaded', 'delete': 'deleted'}


def snapshot_offline(place, words):
    """A snapshot command while no device runs: on the person's device as its home keeps it."""
    recover(place)
    snapshots = Snapshots(place.home)
    try:
        verb, name, replace = parse_command(words)
        if verb == 'list':
            print('\n'.join(snapshots.describe()))
            return True
        if verb == 'undo':
            snapshots.undo()
            print('your device is as it was before the last load (no device runs; the next ./run device boots it)')
            return True
        if verb == 'save':
            snapshots.save_as(name, replace)
        else:
            getattr(snapshots, verb)(name)
    except SnapshotError as e:
        raise Refused(str(e))
    print('snapshot %s %s (no device runs; %s)' % (name, DONE[verb],
                                                   'the next ./run device boots from it; snapshot undo brings '
                                                   'back what it replaced' if verb == 'load' else snapshots.root))
    return True


def recover(place, kept='your device as it was when it last stopped on the spot is kept in %s'):
    """What a device or console left: a half-done save or load, the card back in its slot with its
    own modes and COM7 back, then the person's device written back from the prefix it ran in."""
    in_prefix = bool(place.prefix) and os.path.isdir(place.prefix)
    snapshots = Snapshots(place.home, place.prefix if in_prefix else None)
    for line in snapshots.finish_writes():
        print(line, flush=True)
    if not in_prefix:
        return
    HardwareFaults(place.prefix).close()
    if snapshots.write_back():
        print(kept % snapshots.device, flush=True)
    snapshots.release()


def device_running(home):
    """True when the home's pid file names a living process started when the file says: a reused
    pid is not ours."""
    try:
        with open(os.path.join(home, RUNNING)) as f:
            pid, started = f.read().split()[:2]
        return process_start(pid) == started
    except (OSError, ValueError):
        return False


def running_prefix(home):
    """The prefix the home's device runs in, when one runs."""
    try:
        with open(os.path.join(home, RUNNING)) as f:
            words = f.read().split(None, 2)
        return words[2].strip() if device_running(home) and len(words) == 3 else None
    except OSError:
        return None


def process_start(pid):
    try:
        with open('/proc/%d/stat' % int(pid)) as f:
            return f.read().rsplit(')', 1)[1].split()[19]   # field 22: the start time in clock ticks
    except (OSError, ValueError, IndexError):
        return None


def client(args):
    """Status 0 when every command was done, 1 when one was not, 130 after Ctrl-C."""
    place = Place(os.path.realpath(args.home), running_prefix(args.home) or args.prefix)
    try:
        if args.command:
            return 0 if send(place, ' '.join(args.command)) else 1
        status = 0
        prompt = 'device> ' if sys.stdin.isatty() else ''
        while True:
            try:
                line = input(prompt)
            except EOFError:
                return status
            except UnicodeDecodeError:
                print('cannot: a command is UTF-8 text; that line was not', file=sys.stderr)
                status = 1
                continue
            if line.strip() and not line.strip().startswith('#'):
                status |= 0 if send(place, line) else 1
                if line.split()[0] == 'quit':
                    return status
    except Refused as e:
        print('cannot: %s' % e, file=sys.stderr)
        return 1
    except OSError as e:
        print('cannot: %s' % why(e), file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        print('interrupted', file=sys.stderr)
        return 130
