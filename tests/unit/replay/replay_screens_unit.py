#!/usr/bin/python3
"""The replay's comparison of screens without a device: 16-bit exactness, masks, the allowed
count, moving steps, the verdict line and its step, the report, and the host codes' names.

usage: replay_screens_unit.py <source root>"""
import os
import sys
import tempfile
import threading
import types
import unittest

sys.path.insert(0, os.path.join(sys.argv.pop(1), 'devicesim', 'console'))
from PIL import Image, ImageDraw  # noqa: E402

import hostcodes  # noqa: E402
import compare  # noqa: E402
import screens  # noqa: E402
import session  # noqa: E402

# A session: the device up, a touch (down, up) that asks 200/1, a fault, a touch asking 14/66.
ACTIONS = [(0.5, 0, 'down 112 171'), (0.6, 0, 'up 112 171'), (2.0, 1, 'host tick'),
           (3.0, 1, 'down 205 250'), (3.1, 1, 'up 205 250')]
EXPECTED = ['200/1', '14/66']


def screen(box=None, colour=(255, 255, 255)):
    img = Image.new('RGB', (640, 480), (10, 20, 30))
    if box:
        ImageDraw.Draw(img).rectangle(box, fill=colour)
    return img


class Compare(unittest.TestCase):
    def test_pixels_masks_and_sixteen_bits(self):
        self.assertEqual(compare.compare(screen(), screen())[0], 0)
        count, box, _ = compare.compare(screen(), screen((412, 96, 444, 123)))
        self.assertEqual((count, box), (33 * 28, (412, 96, 445, 124)))
        # Below what a 16-bit colour holds is no difference; one step of green is.
        self.assertEqual(compare.compare(screen(), screen((0, 0, 9, 9), (15, 23, 31)))[0], 0)
        self.assertEqual(compare.compare(screen(), screen((0, 0, 9, 9), (10, 24, 30)))[0], 100)
        # A mask hides what it covers, and only that.
        self.assertEqual(compare.compare(screen(), screen((412, 96, 444, 123)), [(400, 90, 430, 130)])[0], 15 * 28)
        self.assertEqual(compare.parse_mask('400,90,30,40'), (400, 90, 430, 130))
        self.assertRaises(compare.Refused, compare.parse_mask, '400,90,0,40')


class Verdict(unittest.TestCase):
    def run_replay(self, replayed, heard=EXPECTED, moving=(), max_diff=0, live=None):
        """finish() on a session whose recorded steps 0..3 are plain screens and whose replay
        took the given screens; (status, line, report folder)."""
        work = tempfile.mkdtemp()
        session = os.path.join(work, 'tour.session')
        folder = screens.folder_of(session)
        os.makedirs(folder)
        out = os.path.join(work, 'replayed')
        os.makedirs(out)
        recorded, steps = {}, {}
        for k in range(4):
            screen().save(os.path.join(folder, screens.png_name(k)))
            replayed.get(k, screen()).save(os.path.join(out, screens.png_name(k)))
            state = 'moving' if k in moving else 'settled'
            recorded[k] = screens.Step(k, [-1, 1, 2, 4][k], [0, 1, 1, 2][k], state, live, 'x')
            steps[k] = screens.Step(k, [-1, 1, 2, 4][k], [0, 1, 1, 2][k], 'settled', live, 'y')
        screens.write_steps(folder, recorded)
        replay = types.SimpleNamespace(actions=ACTIONS, recorded=screens.read_steps(folder), session=session,
                                       steps=steps, out=out)
        report = os.path.join(work, 'report')
        options = types.SimpleNamespace(masks=[], max_diff_pixels=max_diff, report=report, update=False)
        status, line = screens.finish(replay, EXPECTED, list(heard), options)
        return status, line, report

    def test_the_first_difference_names_its_step_action_and_pixels(self):
        status, line, report = self.run_replay({2: screen((412, 96, 444, 123)), 3: screen((0, 0, 5, 5))})
        self.assertEqual(status, 1)
        self.assertEqual(line, 'replay differs: step 2 (host tick): 924 pixels differ in 33x28 at (412,96)')
        with open(os.path.join(report, 'index.html'), encoding='utf-8') as f:
            page = f.read()
        self.assertIn('<tr id="step-2" class="first">', page)
        self.assertIn('200/1 (main menu: tv)', page)
        self.assertTrue(os.path.exists(os.path.join(report, '002-diff.png')))

    def test_allowed_pixels_live_picture_and_moving_steps(self):
        self.assertEqual(self.run_replay({1: screen((0, 0, 9, 9))}, max_diff=100)[0], 0)
        self.assertEqual(self.run_replay({1: screen((0, 0, 9, 9))}, max_diff=99)[0], 1)
        self.assertEqual(self.run_replay({1: screen((45, 132, 364, 371))}, live=(45, 132, 365, 372))[0], 0)
        status, line, _ = self.run_replay({3: screen((0, 0, 300, 300))}, moving=(3,))
        self.assertEqual(status, 0, line)
        self.assertIn('the same 3 screens (1 moving', line)

    def test_traffic_differs_at_its_step_before_a_later_screen(self):
        status, line, _ = self.run_replay({3: screen((0, 0, 5, 5))}, heard=['200/1', '100/24'])
        self.assertEqual(line, 'replay differs: step 3 (touch 205 250): request 2: recorded 14/66 '
                               '(view request: full screen), the replay heard 100/24 (receiver: pip)')
        self.assertEqual(self.run_replay({}, heard=['200/2', '14/66'])[1][:36], 'replay differs: step 1 (touch 112 17')


class FakeDevice:
    """A console whose viewer answers a tap on (205, 250) with 14/66 the first time and, once in
    full screen, with 102/1; refused lists the taps it ignores, as a busy viewer does."""

    def __init__(self, refused=()):
        self.heard, self.heard_lock, self.screens, self.refused, self.taps = [], threading.Condition(), None, refused, 0
        self.agent = types.SimpleNamespace(gone=threading.Event(), call=self.tap)

    def wait_heard(self, count, timeout):
        return len(self.heard) >= count

    def tap(self, text):
        if text.startswith('up'):
            return
        self.taps += 1
        if self.taps not in self.refused:
            self.heard.append('102/1' if '14/66' in self.heard else '14/66')

    run = tap


class Repeats(unittest.TestCase):
    def test_a_repeat_the_recording_needed_is_played_only_when_this_device_did_not_answer(self):
        for touch in (['touch 205 250'], ['down 205 250', 'up 205 250']):
            actions = [(0.0, 0, a) for a in touch * 2]
            self.assertEqual(session.replay(FakeDevice(), actions, ['14/66']), 0)
            device = FakeDevice(refused=(1,))
            self.assertEqual(session.replay(device, actions, ['14/66']), 0)
            self.assertEqual(device.taps, 2)
        # A second tap after something was heard is a person's own: it is played.
        self.assertEqual(session.replay(FakeDevice(), [(0.0, 0, 'touch 205 250'), (0.1, 1, 'touch 205 250')],
                                        ['14/66', '102/1']), 0)


class Names(unittest.TestCase):
    def test_codes_named_from_the_products_header(self):
        self.assertEqual(hostcodes.named('request 100/24'), 'request 100/24 (receiver: pip)')
        self.assertEqual(hostcodes.named('send 16/59 (console)'), 'send 16/59 (view: reload tv window) (console)')
        self.assertEqual(hostcodes.named('send 62/3'), 'send 62/3 (search progress)')
        self.assertEqual(hostcodes.named('DAB text: 100/24'), 'DAB text: 100/24')


if __name__ == '__main__':
    unittest.main()
