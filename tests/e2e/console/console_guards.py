#!/usr/bin/env python3
"""The console's guards without a device: its door and token, the card's modes and links, COM7
after a killed console, answers matched to their questions, slow watchers, session files, and
where shot's path is resolved. Everything runs in temporary folders.

usage: console_guards.py <source root> [unittest arguments]
"""
import os
import secrets
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time
import types
import unittest
from unittest import mock

ROOT = sys.argv[1]
sys.path.insert(0, os.path.join(ROOT, "devicesim", "console"))
import agent_link  # noqa: E402
import bench  # noqa: E402
import commands  # noqa: E402
import handshake  # noqa: E402
import session  # noqa: E402
import watchers  # noqa: E402
from talk import Refused  # noqa: E402

CONSOLE = os.path.join(ROOT, "devicesim", "console", "console.py")


def until(pred, timeout=10.0):
    end = time.monotonic() + timeout
    while not pred() and time.monotonic() < end:
        time.sleep(0.05)
    return pred()


def client(folder, *words):
    return subprocess.run([sys.executable, CONSOLE, "client", "--prefix", os.path.join(folder, "prefix")] + list(words),
                          cwd=folder, capture_output=True, text=True, timeout=30)


class Folder(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.prefix = os.path.join(self.tmp.name, "prefix")
        os.makedirs(os.path.join(self.prefix, "dosdevices"))


class CardAndCom7(Folder):
    def test_modes_come_back_exactly_and_links_are_never_followed(self):
        card = os.path.join(self.prefix, "drive_c", bench.CARD_NAME)
        os.makedirs(os.path.join(card, "appdata"))
        shared = os.path.join(self.tmp.name, "outside.txt")
        for path, mode in ((shared, 0o644), (os.path.join(card, "appdata", "a.dat"), 0o666)):
            open(path, "w").close()
            os.chmod(path, mode)
        os.chmod(os.path.join(card, "appdata"), 0o777)
        os.symlink(shared, os.path.join(card, "appdata", "link"))
        os.symlink(os.path.join(self.tmp.name, "nowhere"), os.path.join(card, "dead"))
        modes = lambda: {p: stat.S_IMODE(os.stat(p).st_mode) for p in (shared, os.path.join(card, "appdata"),
                                                                         os.path.join(card, "appdata", "a.dat"))}
        before = modes()
        # The write bits' path, as for a user who may not mount; root would write regardless.
        with mock.patch.object(bench.os, "geteuid", return_value=1000), \
                mock.patch.object(bench.Bench, "_writable", return_value=False):
            slot = bench.Bench(self.prefix)
            slot.set_readonly(True)
            self.assertEqual(modes()[shared], 0o644)
            self.assertFalse(modes()[os.path.join(card, "appdata", "a.dat")] & 0o222)
            slot.set_readonly(False)
            self.assertEqual(modes(), before)
            slot.set_readonly(True)
        bench.Bench(self.prefix)       # the console was killed: the next one puts the modes back
        self.assertEqual(modes(), before)

    def test_com7_comes_back_after_a_killed_console_and_the_gps_module(self):
        com7 = os.path.join(self.prefix, "dosdevices", "com7")
        os.symlink("/dev/null", com7)
        bench.Bench(self.prefix).gps("gone")
        self.assertFalse(os.path.exists(com7))
        module = subprocess.Popen([sys.executable, os.path.join(ROOT, "devicesim", "gps_module.py"), com7,
                                   os.path.join(self.tmp.name, "gps.log")])
        self.assertTrue(until(lambda: os.path.realpath(com7).startswith("/dev/pts/")))
        module.send_signal(signal.SIGTERM)
        module.wait(10)
        self.assertFalse(os.path.lexists(com7) and not os.path.exists(com7), "COM7 left leading nowhere")
        bench.Bench(self.prefix)
        self.assertEqual(os.readlink(com7), "/dev/null")


class Door(Folder):
    def setUp(self):
        super().setUp()
        self.server = subprocess.Popen([sys.executable, CONSOLE, "serve", "--prefix", self.prefix],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.server.kill)
        self.door = os.path.join(self.prefix, ".device-console")
        self.assertTrue(until(lambda: os.path.exists(self.door)))

    def raw(self, *lines):
        with socket.create_connection(("127.0.0.1", int(open(self.door).read().split()[0])), timeout=10) as s:
            s.sendall("".join(l + "\n" for l in lines).encode())
            return s.makefile().read()

    def test_only_a_holder_of_the_token_is_answered(self):
        self.assertEqual(stat.S_IMODE(os.stat(self.door).st_mode), 0o600)
        for lines in (["quit"], ["@hello agent"], ["@hello agent 0123"], ["hello 1 2", "quit"]):
            self.assertEqual(self.raw(*lines), "err %s\n" % handshake.NO_TOKEN, lines)
        self.assertIsNone(self.server.poll())
        done = client(self.tmp.name, "quit")
        self.assertEqual((done.returncode, done.stdout), (0, "the device stops\n"))
        self.assertEqual(self.server.wait(10), 0)


class Protocol(Folder):
    def test_a_late_answer_answers_nothing_else(self):
        mine, agents = socket.socketpair()
        late = threading.Event()

        def agent():   # answers both, the first after its caller gave up, each with the id it came with
            f = agents.makefile("r")
            asked = [f.readline().split() for _ in range(2)]
            late.wait(10)
            agents.sendall("".join("%s ok %s\n" % (a[0], a[-1]) for a in asked).encode())
        threading.Thread(target=agent, daemon=True).start()
        a = agent_link.Agent(mine, mine.makefile("r"), lambda event: None)
        with self.assertRaises(Refused):
            a.call("ask first", timeout=0.5)
        late.set()
        self.assertEqual(a.call("ask second", timeout=10), ([], "second"))

    def test_a_slow_watcher_loses_lines_and_holds_nothing_up(self):
        c = commands.Console(types.SimpleNamespace(prefix=self.prefix, record=None, replay=None))
        slow, reader = socket.socketpair()
        c.watchers.append(watchers.Watcher(slow))
        flood = threading.Thread(target=lambda: [c.on_traffic("1 request 14/66 %s" % ("x" * 200)) for _ in range(20000)],
                                 daemon=True)
        flood.start()
        flood.join(20)
        self.assertFalse(flood.is_alive(), "the agent's reader waited for a watcher")
        got = b""
        reader.settimeout(10)
        while b"lines lost" not in got:
            got += reader.recv(1 << 20)
        self.assertRegex(got.decode(), r"this watch was too slow: \d+ lines lost")

    def test_a_session_holds_only_touches_and_faults(self):
        for line in ("shot /tmp/x.png", "quit", "snapshot load base"):
            path = os.path.join(self.tmp.name, "session.txt")
            with open(path, "w") as f:
                f.write("0.000 up\n1.000 [0] touch 1 2\n2.000 [0] %s\n" % line)
            with self.assertRaisesRegex(Refused, r"session\.txt:3: .*%s" % line):
                session.read_session(path)

    def test_the_client_resolves_shot_and_believes_only_a_console_that_proves_itself(self):
        listener = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(listener.close)
        token = secrets.token_hex(8)
        with open(os.path.join(self.prefix, ".device-console"), "w") as f:
            f.write("%d 1 %s\n" % (listener.getsockname()[1], token))
        heard = []

        def serve(honest):
            conn, _ = listener.accept()
            f = conn.makefile("r")
            nonce = f.readline().split()[1]
            conn.sendall(("welcome %s\n" % (handshake.proof(token, "console", nonce) if honest else "0")).encode())
            heard.append(f.readline().strip())
            conn.sendall(b"ok\n")
            conn.close()
        for honest in (True, False):
            threading.Thread(target=serve, args=(honest,), daemon=True).start()
            done = client(self.tmp.name, "shot", "r.png")
            self.assertEqual(done.returncode, 0 if honest else 1, done.stderr)
        self.assertEqual(heard[0], "shot " + os.path.join(self.tmp.name, "r.png"))
        self.assertIn("is not its console", done.stderr)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:])
