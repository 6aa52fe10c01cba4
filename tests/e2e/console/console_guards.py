#!/usr/bin/env python3
"""The console's guards without a device: its door and token, the card's modes and links, COM7
after a killed console, faults one at a time, answers matched to their questions, a dead agent
link, slow watchers, session files, what the client says when things go wrong, where shot's path
is resolved, and the person's device in its home. Everything runs in temporary folders.

usage: console_guards.py <source root> [unittest arguments]
"""
import contextlib
import fcntl
import io
import os
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
import types
import unittest
from unittest import mock

ROOT = sys.argv[1]
sys.path.insert(0, os.path.join(ROOT, "devicesim", "console"))
import agent_link  # noqa: E402
import faults  # noqa: E402
import client as console_client  # noqa: E402
import commands  # noqa: E402
import handshake  # noqa: E402
import migration  # noqa: E402
import server  # noqa: E402
import playback  # noqa: E402
import session  # noqa: E402
import snapshots  # noqa: E402
from hang import HANG_S  # noqa: E402
from talk import Refused  # noqa: E402

CONSOLE = os.path.join(ROOT, "devicesim", "console", "console.py")


def until(pred, timeout=HANG_S):
    end = time.monotonic() + timeout
    while not pred() and time.monotonic() < end:
        time.sleep(0.05)
    return pred()


def client(folder, *words, **run):
    return subprocess.run([sys.executable, CONSOLE, "client", "--home", os.path.join(folder, "home"),
                           "--prefix", os.path.join(folder, "prefix")] + list(words),
                          cwd=folder, capture_output=True, text=True, timeout=2 * HANG_S, **run)


def fake_console(prefix, answer):
    """A console that proves itself, then answer(conn) plays its part; the commands it heard."""
    listener = socket.create_server(("127.0.0.1", 0))
    token = secrets.token_hex(8)
    handshake.open_door(prefix, listener.getsockname()[1], token)
    heard = []

    def serve():
        while True:
            conn, _ = listener.accept()
            f = conn.makefile("r")
            nonce = f.readline().split()[1]
            conn.sendall(("welcome %s\n" % handshake.proof(token, "console", nonce)).encode())
            heard.append(f.readline().strip())
            answer(conn)
    threading.Thread(target=serve, daemon=True).start()
    return listener, heard


def put(folder, text):
    """A device or snapshot folder whose card holds one file of text."""
    os.makedirs(os.path.join(folder, "card"))
    with open(os.path.join(folder, "card", "ch.dat"), "w") as f:
        f.write(text)


def card_text(folder):
    with open(os.path.join(folder, "card", "ch.dat")) as f:
        return f.read()


def card_files(prefix, count):
    card = os.path.join(prefix, "drive_c", faults.CARD_NAME)
    os.makedirs(card)
    for i in range(count):
        with open(os.path.join(card, "f%02d" % i), "w") as f:
            f.write("x")
    return card


class Folder(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.prefix = os.path.join(self.tmp.name, "prefix")
        self.home = os.path.join(self.tmp.name, "home")
        os.makedirs(os.path.join(self.prefix, "dosdevices"))


class CardAndCom7(Folder):
    def test_modes_come_back_exactly_and_links_are_never_followed(self):
        card = os.path.join(self.prefix, "drive_c", faults.CARD_NAME)
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
        with mock.patch.object(faults.os, "geteuid", return_value=1000), \
                mock.patch.object(faults.HardwareFaults, "_writable", return_value=False):
            slot = faults.HardwareFaults(self.prefix)
            slot.set_readonly(True)
            self.assertEqual(modes()[shared], 0o644)
            self.assertFalse(modes()[os.path.join(card, "appdata", "a.dat")] & 0o222)
            slot.set_readonly(False)
            self.assertEqual(modes(), before)
            slot.set_readonly(True)
        faults.HardwareFaults(self.prefix)       # the console was killed: the next one puts the modes back
        self.assertEqual(modes(), before)

    def test_a_restore_waits_for_a_change_in_progress_and_no_change_follows_the_last(self):
        card = card_files(self.prefix, 20)
        real, begun = faults.set_mode, threading.Event()

        def slow(path, mode):   # the change is slow; the restore, in the main thread, is not
            if threading.current_thread() is not threading.main_thread():
                begun.set()
                time.sleep(0.01)
            real(path, mode)
        with mock.patch.object(faults.os, "geteuid", return_value=1000), \
                mock.patch.object(faults.HardwareFaults, "_writable", return_value=False), \
                mock.patch.object(faults, "set_mode", slow):
            slot = faults.HardwareFaults(self.prefix)
            change = threading.Thread(target=slot.set_readonly, args=(True,))
            change.start()
            self.assertTrue(begun.wait(HANG_S))
            faults.HardwareFaults(self.prefix)        # another console's restore, while the change goes on
            change.join(HANG_S)
        self.assertEqual([n for n in sorted(os.listdir(card)) if not os.stat(os.path.join(card, n)).st_mode & 0o200], [])
        slot.close()
        with self.assertRaisesRegex(Refused, "stopping"):
            slot.card_out()

    def test_com7_comes_back_after_a_killed_console_and_the_gps_module(self):
        com7 = os.path.join(self.prefix, "dosdevices", "com7")
        os.symlink("/dev/null", com7)
        faults.HardwareFaults(self.prefix).gps("gone")
        self.assertFalse(os.path.exists(com7))
        module = subprocess.Popen([sys.executable, os.path.join(ROOT, "devicesim", "gps_module.py"), com7,
                                   os.path.join(self.tmp.name, "gps.log")])
        self.assertTrue(until(lambda: os.path.realpath(com7).startswith("/dev/pts/")))
        module.send_signal(signal.SIGTERM)
        module.wait(HANG_S)
        self.assertFalse(os.path.lexists(com7) and not os.path.exists(com7), "COM7 left leading nowhere")
        faults.HardwareFaults(self.prefix)
        self.assertEqual(os.readlink(com7), "/dev/null")


class Door(Folder):
    def setUp(self):
        super().setUp()
        self.server = subprocess.Popen([sys.executable, CONSOLE, "serve", "--home", self.home, "--prefix", self.prefix],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.server.kill)
        self.door = os.path.join(self.prefix, ".device-console")
        self.assertTrue(until(lambda: os.path.exists(self.door)))

    def raw(self, *lines):
        with socket.create_connection(("127.0.0.1", int(open(self.door).read().split()[0])), timeout=HANG_S) as s:
            s.sendall("".join(l + "\n" for l in lines).encode())
            return s.makefile().read()

    def test_only_a_holder_of_the_token_is_answered(self):
        self.assertEqual(stat.S_IMODE(os.stat(self.door).st_mode), 0o600)
        for lines in (["quit"], ["@hello agent"], ["@hello agent 0123"], ["hello 1 2", "quit"]):
            self.assertEqual(self.raw(*lines), "err %s\n" % handshake.NO_TOKEN, lines)
        self.assertIsNone(self.server.poll())
        done = client(self.tmp.name, "quit")
        self.assertEqual((done.returncode, done.stdout), (0, "the device stops\n"))
        self.assertEqual(self.server.wait(HANG_S), 0)


class Protocol(Folder):
    def test_a_late_answer_answers_nothing_else(self):
        mine, agents = socket.socketpair()
        late = threading.Event()

        def agent():   # answers both, the first after its caller gave up, each with the id it came with
            f = agents.makefile("r")
            asked = [f.readline().split() for _ in range(2)]
            late.wait(HANG_S)
            agents.sendall("".join("%s ok %s\n" % (a[0], a[-1]) for a in asked).encode())
        threading.Thread(target=agent, daemon=True).start()
        a = agent_link.Agent(mine, mine.makefile("r"), lambda event: None)
        with self.assertRaises(Refused):
            a.call("ask first", timeout=0.5)
        late.set()
        self.assertEqual(a.call("ask second", timeout=HANG_S), ([], "second"))

    def test_a_dead_agent_ends_the_replay_at_its_step_as_a_refusal(self):
        session_file = os.path.join(self.tmp.name, "session.txt")
        with open(session_file, "w") as f:
            f.write("0.000 up\n0.0 [0] host lag 250\n0.0 [0] host lag 0\n0.1 [0] touch 1 2\n60.0 [0] touch 3 4\n")
        c = commands.Console(types.SimpleNamespace(prefix=self.prefix, home=self.home, record=None, replay=session_file,
                                                   no_screens=True))
        mine, agents = socket.socketpair()

        def agent():   # answers until the first touch, then the device is gone
            for line in agents.makefile("r"):
                agents.sendall(("%s ok\n" % line.split()[0]).encode())
                if "touch" in line:
                    return agents.close()
        threading.Thread(target=agent, daemon=True).start()
        said = []
        with mock.patch.object(playback, "say", said.append):
            server.take_agent(c, mine, mine.makefile("r"), [c.token])
            self.assertTrue(c.stop.wait(HANG_S), said)
        self.assertEqual(c.status, 2)
        self.assertIn("the device has stopped, at step 4 of 4 (touch 3 4)", said[-1])
        self.assertEqual(c.faults, {})
        with self.assertRaises(agent_link.Stopped):
            c.agent.call("state")

    def test_the_client_says_what_happened_in_a_line_and_its_status(self):
        held = []
        listener, heard = fake_console(self.prefix, lambda conn: held.append(conn) if not held else conn.shutdown(socket.SHUT_RDWR))
        self.addCleanup(listener.close)
        waiting = subprocess.Popen([sys.executable, CONSOLE, "client", "--home", self.home, "--prefix", self.prefix,
                                    "state"], stderr=subprocess.PIPE, text=True)
        self.assertTrue(until(lambda: heard))
        waiting.send_signal(signal.SIGINT)
        self.assertEqual(waiting.wait(HANG_S), 130)
        lost = client(self.tmp.name, "state")
        self.assertEqual((lost.returncode, lost.stderr.count("\n")), (1, 1), lost.stderr)
        self.assertIn("lost before it answered", lost.stderr)
        undecodable = subprocess.run([sys.executable, CONSOLE, "client", "--home", self.home, "--prefix", self.prefix,
                                      "dab", b"\xff\xfe"], capture_output=True, text=True, timeout=2 * HANG_S)
        self.assertEqual(undecodable.returncode, 1)
        self.assertIn("UTF-8", undecodable.stderr)
        self.assertNotIn("Traceback", lost.stderr + undecodable.stderr)

    def test_a_slow_watcher_loses_lines_and_holds_nothing_up(self):
        c = commands.Console(types.SimpleNamespace(prefix=self.prefix, home=self.home, record=None, replay=None))
        slow, reader = socket.socketpair()
        c.watchers.add(slow)
        flood = threading.Thread(target=lambda: [c.on_traffic("1 request 14/66 %s" % ("x" * 200)) for _ in range(20000)],
                                 daemon=True)
        flood.start()
        flood.join(HANG_S)
        self.assertFalse(flood.is_alive(), "the agent's reader waited for a watcher")
        got = b""
        reader.settimeout(HANG_S)
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


class Display(unittest.TestCase):
    def test_the_display_answers_only_the_holder_of_its_cookie(self):
        def xdpyinfo(*prefix, **env):
            return subprocess.run(list(prefix) + ["xdpyinfo"], env=dict(os.environ, **env), stdin=subprocess.DEVNULL,
                                  capture_output=True).returncode
        self.assertEqual(xdpyinfo(), 0)
        self.assertNotEqual(xdpyinfo(XAUTHORITY=os.devnull), 0)
        if os.getuid() == 0:   # another user, as the machine's own would be
            self.assertNotEqual(xdpyinfo("runuser", "-u", "nobody", "--", "env", "DISPLAY=" + os.environ["DISPLAY"]), 0)


class Home(Folder):
    """The person's device and its snapshots in its home, as files; no registry needed."""

    def test_a_load_is_undone_and_what_a_kill_left_is_neither_kept_nor_listed(self):
        put(os.path.join(self.home, "device"), "mine")
        put(os.path.join(self.home, "snapshots", "base"), "base")
        for leftover in (".saving-base-abcd_123", ".replaced-base"):
            os.makedirs(os.path.join(self.home, "snapshots", leftover, "card"))
        place = console_client.Place(self.home, None)
        self.assertTrue(console_client.snapshot_offline(place, ["load", "base"]))
        self.assertEqual(card_text(os.path.join(self.home, "device")), "base")
        self.assertTrue(console_client.snapshot_offline(place, ["undo"]))
        self.assertEqual(card_text(os.path.join(self.home, "device")), "mine")
        self.assertEqual(os.listdir(os.path.join(self.home, "snapshots")), ["base", snapshots.BEFORE_LOAD])
        with self.assertRaises(snapshots.SnapshotError):
            snapshots.check_name("base\n")
        # A save over a snapshot says so and changes nothing, unless it is asked to replace it.
        self.assertRaisesRegex(Refused, "--replace", console_client.snapshot_offline, place, ["save", "base"])
        self.assertEqual(card_text(os.path.join(self.home, "snapshots", "base")), "base")
        self.assertTrue(console_client.snapshot_offline(place, ["save", "base", "--replace"]))
        self.assertEqual(card_text(os.path.join(self.home, "snapshots", "base")), "mine")

    def copies(self):
        """What a person would find: the device's and the undo's card text, or None."""
        found = []
        for folder in (os.path.join(self.home, "device"), os.path.join(self.home, "snapshots", snapshots.BEFORE_LOAD)):
            found.append(card_text(folder) if os.path.isdir(folder) else None)
        return found

    def test_a_kill_at_any_step_of_a_load_or_undo_leaves_each_copy_whole(self):
        place = console_client.Place(self.home, self.prefix + "-another")   # the next start is from elsewhere
        real_rename = os.rename
        for verb in ("load", "undo"):
            for step in range(8):
                shutil.rmtree(self.home, ignore_errors=True)
                put(os.path.join(self.home, "device"), "mine")
                put(os.path.join(self.home, "snapshots", "base"), "base")
                if verb == "undo":
                    put(os.path.join(self.home, "snapshots", snapshots.BEFORE_LOAD), "before")
                calls = []

                def killed(a, b):   # nothing runs after a kill: no handler, no cleanup
                    calls.append(a)
                    if len(calls) > step:
                        os._exit(9)
                    real_rename(a, b)
                child = os.fork()
                if child == 0:
                    with mock.patch.object(snapshots.os, "rename", killed), contextlib.redirect_stdout(io.StringIO()):
                        console_client.snapshot_offline(place, [verb] + (["base"] if verb == "load" else []))
                    os._exit(0)
                os.waitpid(child, 0)
                with contextlib.redirect_stdout(io.StringIO()):
                    console_client.recover(place)
                device, undo = self.copies()
                if verb == "load":
                    self.assertIn((device, undo), [("mine", None), ("mine", "mine"), ("base", "mine")], step)
                else:
                    self.assertIn((device, undo), [("mine", "before"), ("before", "before"), ("before", "mine")], step)

    def test_a_full_disk_fails_an_undo_in_one_line_and_keeps_both_copies(self):
        put(os.path.join(self.home, "device"), "mine")
        put(os.path.join(self.home, "snapshots", snapshots.BEFORE_LOAD), "before")
        place = console_client.Place(self.home, None)
        full = shutil.Error([("a", "b", "[Errno 28] No space left on device: 'b'")])
        real_copytree = shutil.copytree

        def second_fills_the_disk(*args, **kwargs):
            if os.path.basename(args[1]).startswith(".saving-device-"):
                raise full
            return real_copytree(*args, **kwargs)
        with mock.patch.object(snapshots.shutil, "copytree", second_fills_the_disk):
            with self.assertRaisesRegex(Refused, r"^\[Errno 28\] No space left on device: 'b'; your device is as it was$"):
                console_client.snapshot_offline(place, ["undo"])
        self.assertEqual(self.copies(), ["mine", "before"])
        self.assertEqual(sorted(os.listdir(os.path.join(self.home, "snapshots"))), [snapshots.BEFORE_LOAD])

    def test_a_registry_that_cannot_be_read_is_never_taken_for_no_store(self):
        put(os.path.join(self.home, "device"), "mine")
        card_files(self.prefix, 1)
        kept = snapshots.Snapshots(self.home, self.prefix)
        kept._owner("person")
        failing = subprocess.CompletedProcess([], 1, "", "wine: could not load kernel32.dll")
        with mock.patch.object(snapshots.Snapshots, "_reg", return_value=failing):
            with self.assertRaisesRegex(snapshots.SnapshotError, "cannot be read"):
                kept.write_back()
        self.assertEqual(sorted(os.listdir(self.home)), ["device"])
        self.assertEqual(card_text(os.path.join(self.home, "device")), "mine")

    def test_a_home_reached_by_a_link_is_the_same_home(self):
        os.makedirs(self.home)
        os.symlink(self.home, self.home + "-link")
        snapshots.Snapshots(self.home + "-link", self.prefix)._owner("person")
        self.assertEqual(snapshots.Snapshots(self.home, self.prefix)._read_owner(), "person")

    def test_a_refused_start_touches_nothing_of_the_device_running(self):
        # Whatever would stop a device or its display only leaves a mark here.
        tools = os.path.join(self.tmp.name, "tools")
        os.makedirs(tools)
        for name in ("wineserver", "wine", "Xvfb", "cmake"):
            with open(os.path.join(tools, name), "w") as f:
                f.write("#!/bin/sh\necho %s >>%s/called\n" % (name, self.tmp.name))
            os.chmod(os.path.join(tools, name), 0o755)
        build = os.path.join(self.tmp.name, "build")
        os.makedirs(build)
        env = dict(os.environ, PATH=tools + os.pathsep + os.environ["PATH"], BUILD_DIR=build,
                   DEVICE_HOME=os.path.join(self.tmp.name, "other-home"))
        for held in (os.path.join(build, "prefix.device-lock"), os.path.join(self.tmp.name, "other-home", ".lock")):
            os.makedirs(os.path.dirname(held), exist_ok=True)
            with open(held, "w") as lock:
                fcntl.flock(lock, fcntl.LOCK_EX)
                done = subprocess.run([os.path.join(ROOT, "run"), "device", "--headless"], env=env,
                                      stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=HANG_S)
            self.assertEqual(done.returncode, 1, done.stderr)
            self.assertIn("this one did not start, and nothing of that one was touched", done.stderr)
            self.assertFalse(os.path.exists(os.path.join(self.tmp.name, "called")), done.stderr)

    def test_an_older_device_and_its_snapshots_move_home_once(self):
        old = self.prefix + ".snapshots"
        for name, text in ((".held", "held"), ("base", "base"), ("base.replaced-12", "half")):
            put(os.path.join(old, name), text)
        self.assertTrue(migration.move_old_devices(self.home, [self.prefix]))
        self.assertEqual(card_text(os.path.join(self.home, "device")), "held")
        self.assertEqual(snapshots.Snapshots(self.home).names(), ["base"])
        self.assertEqual(migration.move_old_devices(self.home, [self.prefix]), [])


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:])
