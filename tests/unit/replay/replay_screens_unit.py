#!/usr/bin/python3
"""The replay's comparison of screens without a device: 16-bit exactness, masks, the allowed
count, moving steps, the verdict line and its step, the report, and the host codes' names.

usage: replay_screens_unit.py <source root>"""
import os
import shutil
import sys
import tempfile
import threading
import types
import unittest

sys.path.insert(0, os.path.join(sys.argv.pop(1), 'devicesim', 'console'))
from PIL import Image, ImageDraw  # noqa: E402

import hostcodes  # noqa: E402
import compare  # noqa: E402
import playback  # noqa: E402
import steps  # noqa: E402
import verdict  # noqa: E402

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
        count, box, _, _ = compare.compare(screen(), screen((412, 96, 444, 123)))
        self.assertEqual((count, box), (33 * 28, (412, 96, 445, 124)))
        # Below what a 16-bit colour holds is no difference; one step of green is.
        self.assertEqual(compare.compare(screen(), screen((0, 0, 9, 9), (15, 23, 31)))[0], 0)
        self.assertEqual(compare.compare(screen(), screen((0, 0, 9, 9), (10, 24, 30)))[0], 100)
        # A mask hides what it covers, and only that.
        self.assertEqual(compare.compare(screen(), screen((412, 96, 444, 123)), [(400, 90, 430, 130)])[::3],
                         (15 * 28, 640 * 480 - 30 * 40))
        self.assertEqual(compare.parse_mask('400,90,30,40'), (400, 90, 430, 130))
        self.assertRaises(compare.Refused, compare.parse_mask, '400,90,0,40')


class Verdict(unittest.TestCase):
    def run_replay(self, replayed, heard=EXPECTED, moving=(), max_diff=0, live=None, shown='as recorded', taken=range(4),
                   unsettled=(), problems=(), update=False, ticks=0):
        """verdict.finish() on a session whose recorded steps 0..3 (and one per extra host tick)
        are plain screens with the picture at live, and whose replay took the given screens with
        the picture at shown (default: live); (status, line, report folder, screens folder)."""
        work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, work)
        session = os.path.join(work, 'tour.session')
        folder = steps.folder_of(session)
        out = os.path.join(work, 'replayed')
        os.makedirs(folder)
        os.makedirs(out)
        actions = ACTIONS + [(4.0 + t, 2, 'host tick') for t in range(ticks)]
        recorded, taken_steps = {}, {}
        for k in range(4 + ticks):
            action, count = ([-1, 1, 2, 4] + list(range(5, 5 + ticks)))[k], min(k, 1) + (k >= 3)
            screen().save(os.path.join(folder, steps.png_name(k)))
            recorded[k] = steps.Step(k, action, count, 'moving' if k in moving else 'settled', live, 'x')
            if k in taken or k >= 4:
                replayed.get(k, screen()).save(os.path.join(out, steps.png_name(k)))
                taken_steps[k] = steps.Step(k, action, count, 'moving' if k in unsettled else 'settled',
                                            live if shown == 'as recorded' else shown, 'y')
        steps.write_steps(folder, recorded)
        replay = types.SimpleNamespace(actions=actions, recorded=steps.read_steps(folder), session=session,
                                       steps=taken_steps, out=out, problems=list(problems))
        report = os.path.join(work, 'report')
        options = types.SimpleNamespace(masks=[], max_diff_pixels=max_diff, report=report, update=update)
        status, line = verdict.finish(replay, EXPECTED, list(heard), options)
        return status, line, report, folder

    def test_the_first_difference_names_its_step_action_and_pixels(self):
        status, line, report, _ = self.run_replay({2: screen((412, 96, 444, 123)), 3: screen((0, 0, 5, 5))})
        self.assertEqual(status, 1)
        self.assertEqual(line, 'replay differs: step 2 (host tick): 924 pixels differ in 33x28 at (412,96) (2 steps in all)')
        with open(os.path.join(report, 'index.html'), encoding='utf-8') as f:
            page = f.read()
        self.assertIn('<tr id="step-2" class="first">', page)
        self.assertIn('200/1 (main menu: tv)', page)
        self.assertTrue(os.path.exists(os.path.join(report, '002-diff.png')))

    def test_allowed_pixels_and_the_recorded_picture_masked(self):
        self.assertEqual(self.run_replay({1: screen((0, 0, 9, 9))}, max_diff=100)[0], 0)
        self.assertEqual(self.run_replay({1: screen((0, 0, 9, 9))}, max_diff=99)[0], 1)
        pip = (320, 240, 640, 480)
        status, line, _, _ = self.run_replay({1: screen((320, 240, 639, 479))}, live=pip)
        self.assertEqual(status, 0, line)
        self.assertIn('the same 4 screens (921,600 pixels compared, the picture\'s place at 4 of them)', line)

    def test_the_picture_elsewhere_differs_at_its_step(self):
        pip = (320, 240, 640, 480)
        # The replayed picture draws where the recorded screen had none: only the recorded place is masked.
        status, line, report, _ = self.run_replay({0: screen((0, 0, 319, 239))}, live=pip, shown=(0, 0, 320, 240))
        self.assertEqual((status, line), (1, 'replay differs: step 0 (the device up): the picture is at 0,0,320,240, '
                                             'recorded at 320,240,640,480; 76,800 pixels differ in 320x240 at (0,0) '
                                             '(4 steps in all)'))
        self.assertTrue(os.path.exists(os.path.join(report, '000-diff.png')))
        self.assertIn('no picture shows, recorded at 320,240,640,480', self.run_replay({}, live=pip, shown=None)[1])
        # In its place, the picture must be the receiver's test picture, not a black rectangle.
        bars = screen()
        for i, colour in enumerate(compare.BARS):
            ImageDraw.Draw(bars).rectangle((320 + 40 * i, 240, 359 + 40 * i, 400), fill=colour)
        self.assertEqual(self.run_replay({1: bars}, live=pip)[1],
                         "replay differs: step 1 (touch 112 171): the picture at 320,240,640,480 shows the receiver's "
                         "test picture, recorded without")
        self.assertIn('the picture is at 0,0,640,480, recorded with none', self.run_replay({}, shown=(0, 0, 640, 480))[1])

    def test_nothing_unseen_passes(self):
        self.assertEqual(self.run_replay({}, taken=(0, 1))[:2],
                         (1, 'replay differs: step 2 (host tick): the replay did not get to this step (2 steps in all)'))
        self.assertEqual(self.run_replay({}, unsettled=(3,))[:2],
                         (1, 'replay differs: step 3 (touch 205 250): the screen did not settle, recorded settled'))
        self.assertEqual(self.run_replay({}, problems=[(1, 2, 'host tick was not played: no host')])[:2],
                         (2, 'replay could not run: step 1 (touch 112 171): host tick was not played: no host'))
        status, line, _, folder = self.run_replay({}, moving=(3,))
        self.assertEqual((status, line[:60]), (2, 'replay could not run: 1 of the recording\'s 4 steps were kept'))
        # One moving step in eleven is shown apart; a baseline screen gone is no comparison.
        status, line, _, _ = self.run_replay({3: screen((0, 0, 300, 300))}, moving=(3,), ticks=7)
        self.assertEqual(status, 0, line)
        self.assertIn('the same 10 screens', line)
        self.assertIn(', 1 moving shown apart', line)
        os.remove(os.path.join(folder, '002.png'))
        replay = types.SimpleNamespace(actions=ACTIONS, recorded=steps.read_steps(folder), session=folder[:-8],
                                       steps={k: steps.Step(k, 0, 0, 'settled') for k in range(4)}, out=folder,
                                       problems=[])
        options = types.SimpleNamespace(masks=[], max_diff_pixels=0, report=None, update=False)
        self.assertEqual(verdict.finish(replay, EXPECTED, EXPECTED, options)[0], 2)
        replay.out = tempfile.mkdtemp(dir=folder)   # the replay's own screens gone
        self.assertEqual(verdict.finish(replay, EXPECTED, EXPECTED, options)[1][:62],
                         "replay could not run: step 0 (the device up): the replay's scr")

    def test_an_update_keeps_settled_screens_and_counts_what_changed(self):
        status, line, _, folder = self.run_replay({1: screen((0, 0, 9, 9)), 3: screen((0, 0, 99, 99))},
                                                  unsettled=(3,), update=True)
        self.assertEqual(status, 0, line)
        self.assertIn('new baseline written to %s: 1 of 4 steps changed, 1 kept as recorded' % folder, line)
        kept = steps.read_steps(folder)
        self.assertEqual([kept[k].state for k in range(4)], ['settled'] * 4)
        self.assertEqual((kept[1].fingerprint, kept[3].fingerprint), ('y', 'x'))
        self.assertEqual(compare.compare(Image.open(os.path.join(folder, '003.png')), screen())[0], 0)
        self.assertEqual(self.run_replay({}, taken=(), update=True)[0], 1)

    def test_traffic_differs_at_its_step_before_a_later_screen(self):
        status, line, _, _ = self.run_replay({3: screen((0, 0, 5, 5))}, heard=['200/1', '100/24'])
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
            self.assertEqual(playback.replay(FakeDevice(), actions, ['14/66']), 0)
            device = FakeDevice(refused=(1,))
            self.assertEqual(playback.replay(device, actions, ['14/66']), 0)
            self.assertEqual(device.taps, 2)
        # A second tap after something was heard is a person's own: it is played.
        self.assertEqual(playback.replay(FakeDevice(), [(0.0, 0, 'touch 205 250'), (0.1, 1, 'touch 205 250')],
                                        ['14/66', '102/1']), 0)


class Names(unittest.TestCase):
    def test_codes_named_from_the_products_header(self):
        self.assertEqual(hostcodes.named('request 100/24'), 'request 100/24 (receiver: pip)')
        self.assertEqual(hostcodes.named('send 16/59 (console)'), 'send 16/59 (view: reload tv window) (console)')
        self.assertEqual(hostcodes.named('send 62/3'), 'send 62/3 (search progress)')
        self.assertEqual(hostcodes.named('DAB text: 100/24'), 'DAB text: 100/24')


if __name__ == '__main__':
    unittest.main()
