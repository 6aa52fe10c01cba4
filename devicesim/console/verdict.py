"""A replay's verdict: the first step where what a person sees or what the host hears differs
from the recording, its report, and, with --update, the replay's screens as the new baseline.

Status 0: every step's screen and every request as recorded; 1: the replay differs; 2: it could
not run (nothing to compare with, a screen it could not take, an action it could not play). A step
recorded as moving is shown and counted apart; a recording with more than MOVING_SHARE of its steps
moving is no baseline."""

import os
import shutil

import report
from compare import first_request_difference, judge, requests_by_step
from steps import Step, folder_of, labels_of, png_name, step_count, write_steps

MOVING_SHARE = 0.1


def traffic_difference(recorded, expected, heard):
    """(step, what differs) where the host's traffic first differs, or None."""
    found = first_request_difference(expected, heard)
    if found is None:
        return None
    j, text = found
    later = [k for k in sorted(recorded) if recorded[k].heard > j]
    return (later[0] if later else max(recorded, default=0)), text


def finish(replay, expected, heard, options):
    """The verdict's lines and the exit status; the report and a new baseline when asked."""
    actions, recorded, folder = replay.actions, replay.recorded, folder_of(replay.session)
    labels = labels_of(actions)
    labels.update((k, 'past the last action') for k in recorded if k not in labels)
    recorded_png = lambda k: os.path.join(folder, png_name(k))  # noqa: E731
    replayed_png = lambda k: os.path.join(replay.out, png_name(k))  # noqa: E731
    verdicts = judge(step_count(actions), recorded, replay.steps, recorded_png, replayed_png, labels, options.masks,
                     replay.problems)
    allowed = options.max_diff_pixels
    traffic = traffic_difference(recorded, expected, heard)
    # At one step, what the host heard comes first: what it showed followed from it.
    found = [(traffic[0], 1, traffic[1])] if traffic else []
    found += [(v.step,) + v.problem(allowed) for v in verdicts if v.problem(allowed)]
    found.sort(key=lambda f: f[0])
    moving = [v for v in verdicts if v.state == 'moving']
    compared = [v for v in verdicts if v.state == 'compared']
    first = found[0][0] if found else None
    if found:
        k, status, text = found[0]
        line = 'replay %s: step %d (%s): %s' % ('differs' if status == 1 else 'could not run', k, labels[k], text)
        steps = len(set(f[0] for f in found))
        if steps > 1:
            line += ' (%d steps in all)' % steps
    elif len(moving) > MOVING_SHARE * len(verdicts):
        status, line = 2, 'replay could not run: %d of the recording\'s %d steps were kept moving: no baseline ' \
                          '(record it again where each step settles)' % (len(moving), len(verdicts))
    else:
        status = 0
        line = ('replay: the same %d screens (%s pixels compared, the picture\'s place at %d of them), '
                '%d moving shown apart, and the same %d requests in the same order' % (
                    len(compared), format(sum(v.compared for v in compared), ','),
                    sum(1 for v in compared if recorded[v.step].live or v.live), len(moving), len(heard)))
    if options.report:
        report.write(options.report, replay.session, line, status, verdicts, first, allowed,
                     requests_by_step(recorded, expected), requests_by_step(replay.steps, heard),
                     recorded_png, replayed_png)
    if options.update:
        return update(replay, verdicts, line)
    return status, line


def update(replay, verdicts, line):
    """The replay's settled screens become the baseline; a step the replay did not settle keeps
    the recording's, so an update never makes a settled step moving. A replay that did not take
    every step's screen writes nothing. Ends 0 only when it wrote a baseline a replay can use."""
    folder = folder_of(replay.session)
    missing = [v.step for v in verdicts if v.state in ('not taken', 'no screen')]
    if missing:
        return 1, line + '\nreplay: no baseline written: the replay took no screen at step %s' % (
            ', '.join(map(str, missing)))
    steps, changed, kept = {}, 0, 0
    for v in verdicts:
        k = v.step
        rec, rep = replay.recorded.get(k), replay.steps[k]
        if rep.state == 'settled' or rec is None or rec.state != 'settled':
            shutil.copyfile(os.path.join(replay.out, png_name(k)), os.path.join(folder, png_name(k)))
            steps[k] = Step(k, rep.action, rep.heard, rep.state, rep.live, rep.fingerprint)
            changed += v.state != 'compared' or bool(v.count or v.place)
        else:
            steps[k] = rec
            kept += 1
    write_steps(folder, steps)
    moving = sum(1 for s in steps.values() if s.state != 'settled')
    line += '\nreplay: new baseline written to %s: %d of %d steps changed, %d kept as recorded (not settled in the replay)' % (
        folder, changed, len(steps), kept)
    if moving > MOVING_SHARE * len(steps):
        return 1, line + '; %d of them are moving: record the session again where each step settles' % moving
    return 0, line
