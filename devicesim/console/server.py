"""The console's server: it listens on the loopback, lets in only clients that prove they know the
token and the device's agent, runs each client's command, and gives the device's faults back when
it ends."""

import hmac
import signal
import socket
import sys
import threading
import time

from agent_link import Agent
from commands import Console
from hang import HANG_S
from handshake import NO_TOKEN, close_door, open_door, proof, proves
from playback import replay
from talk import Refused, now, say


def serve_connection(console, conn):
    conn.settimeout(HANG_S)   # the handshake comes at once, or the client has hung
    f = conn.makefile('r', encoding='utf-8', errors='replace', newline='\n')
    try:
        words = f.readline(1024).split()
        if words[:2] == ['@hello', 'agent']:
            return take_agent(console, conn, f, words[2:])
        if len(words) != 3 or words[0] != 'hello' or not proves(console.token, 'client', words[1], words[2]):
            raise Refused(NO_TOKEN)
        conn.sendall(('welcome %s\n' % proof(console.token, 'console', words[1])).encode('utf-8'))
        first = f.readline(65536).strip()
        conn.settimeout(None)
        if first == 'watch':
            console.watchers.add(conn)
            return   # the connection stays with its watcher
        lines, text = console.run(first)
        reply = ''.join('| %s\n' % l for l in lines) + ('ok %s\n' % text if text else 'ok\n')
    except Exception as e:   # a refusal or whatever went wrong: the client hears why
        reply = 'err %s\n' % e
    try:
        conn.sendall(reply.encode('utf-8'))
    except OSError:
        pass
    conn.close()


def take_agent(console, conn, f, words):
    if not words or not hmac.compare_digest(words[0], console.token) or console.agent:
        conn.sendall(('err %s\n' % (NO_TOKEN if not words or words[0] != console.token else 'the agent is here already')).encode('utf-8'))
        conn.close()
        return
    conn.settimeout(None)
    console.agent = Agent(conn, f, console.on_event, lambda: device_gone(console))
    threading.Thread(target=wait_until_up, args=(console,), daemon=True).start()


def device_gone(console):
    """The agent's link ended: the device's programs are gone, and the console ends with them. A
    replay says itself where it stopped."""
    console.agent_ready.clear()
    with console.heard_lock:
        console.heard_lock.notify_all()   # a replay waiting for the host stops waiting
    if not console.stop.is_set() and not console.session:
        say('the device has stopped')
        console.status = console.status or 1
        console.stop.set()


def wait_until_up(console, timeout=HANG_S):
    deadline = now() + timeout
    while now() < deadline and not console.stop.is_set():
        try:
            console.agent.call('ready')
            break
        except Refused:
            time.sleep(0.2)
    else:
        print('[console] the device did not come up', file=sys.stderr)
        console.status = 1
        console.stop.set()
        return
    with console.heard_lock:
        console.heard.clear()
        if console.recorder:
            console.recorder.up()
            if console.screens:
                console.screens.up()
    console.agent_ready.set()
    if console.session:
        try:
            console.status = replay(console, *console.session)
        except Exception as e:   # whatever went wrong, the device must not wait on a replay that is over
            say('replay could not go on: %s' % e)
            console.status = 2
        console.stop.set()


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
    open_door(console.prefix, server.getsockname()[1], console.token)
    signal.signal(signal.SIGTERM, lambda *_: console.stop.set())
    signal.signal(signal.SIGINT, lambda *_: console.stop.set())
    try:
        while not console.stop.is_set():
            try:
                conn, _ = server.accept()
            except socket.timeout:
                continue
            threading.Thread(target=serve_connection, args=(console, conn), daemon=True).start()
    finally:
        close_door(console.prefix)
        console.hardware.close()
        if console.screens:
            console.screens.close()
        if console.recorder:
            console.recorder.close()
    return console.status
