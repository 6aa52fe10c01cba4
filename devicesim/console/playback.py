"""The replay of a session: its touches and faults played on a new device at their recorded
pauses, each once the host has heard what it had heard then, and the verdict.

An action the replay could not play, or a wait for the host that ran out, is a problem of its
step: the replay is never 'the same' with one."""

from agent_link import STOPPED, Stopped
from compare import first_request_difference
from hang import HANG_S
from talk import Refused, now, say


def heard_count(console):
    with console.heard_lock:
        return len(console.heard)


def repeats_unanswered(actions, index):
    """Whether action index starts a touch (a 'touch', or the 'down' of a down and up) repeated on
    the same point with nothing heard since the one before."""
    _, count, text = actions[index]
    verb = text.split()[0]
    back = {'touch': 1, 'down': 2}.get(verb)
    if not back or index < back:
        return False
    _, last_count, last_text = actions[index - back]
    between = [a[2] for a in actions[index - back + 1:index]]
    return text == last_text and count == last_count and between == ['up' + text[4:]][:back - 1]


class Problems:
    """What the replay could not do, by action; the screens' verdict takes them by step."""

    def __init__(self, screens):
        self.screens, self.found = screens, []

    def add(self, index, status, text):
        say('replay: action %d: %s' % (index + 1, text))
        self.found.append((index, status, text))
        if self.screens:
            self.screens.problem(index, status, text)


def replay(console, actions, expected):
    """Plays actions on the device of console; 0 when the host heard the expected requests (and the
    screens were the recorded ones), 1 when not, 2 when the replay could not run to its end."""
    say('replaying %d actions; the host heard %d requests then' % (len(actions), len(expected)))
    screens = console.screens if console.screens and console.screens.active() else None
    problems = Problems(screens)
    if screens:
        screens.up(actions)   # the device as it came up: step 0
    last_t, last_at = 0.0, now()
    heard_before_last, skip_up = None, None
    for index, (t, count, text) in enumerate(actions):
        # The host must have heard what it had heard at this point, and the pause since the
        # last action is kept, so that a slow machine replays the same touches on the same screens.
        # Once the host has missed a request, the replay differs: later waits need not be long.
        if not console.wait_heard(count, 2.0 if problems.found else HANG_S) and not console.agent.gone.is_set():
            problems.add(index, 1, 'the host had heard %d requests, recorded %d, before %s' % (
                heard_count(console), count, text))
        console.agent.gone.wait(max(0.0, (t - last_t) - (now() - last_at)))
        last_t, last_at = t, now()
        skip = skip_up == text or (repeats_unanswered(actions, index) and heard_count(console) > heard_before_last)
        skip_up = 'up' + text[4:] if skip and text.startswith('down ') else None
        if skip:
            # The finger tried again because the recorded device had not answered yet; this one
            # has, and a second touch would land on the screen the first one asked for.
            say('replay: step %d (%s) repeats a touch this device has already answered; not played'
                % (index + 1, text))
            if screens:
                screens.after(index)
            continue
        if not text.startswith('up '):
            heard_before_last = heard_count(console)
        try:
            if console.agent.gone.is_set():
                raise Stopped(STOPPED)
            if text.split()[0] in ('down', 'up'):
                console.agent.call(text)
            else:
                console.run(text)
        except Stopped:
            say('replay stopped: the device has stopped, at step %d of %d (%s)' % (index + 1, len(actions), text))
            return 2
        except Refused as e:
            problems.add(index, 2, '%s was not played: %s' % (text, e))
        if screens:
            screens.after(index)
    console.wait_heard(len(expected), HANG_S)
    console.agent.gone.wait(2)   # anything more the host hears after the last expected request
    if console.agent.gone.is_set():
        say('replay stopped: the device has stopped after the last of %d steps' % len(actions))
        return 2
    with console.heard_lock:
        heard = list(console.heard)
    if screens:
        status, lines = screens.finish(expected, heard)
        for line in lines.split('\n'):
            say(line)
        return status
    return traffic_verdict(expected, heard, problems.found)


def traffic_verdict(expected, heard, problems):
    """The status of a replay that compares the host's traffic only, its line said."""
    if problems:
        index, status, text = problems[0]
        say('replay %s: action %d: %s' % ('differs' if status == 1 else 'could not run', index + 1, text))
        return status
    found = first_request_difference(expected, heard)
    if found:
        say('replay differs: ' + found[1])
        return 1
    say('replay: the host heard the same %d requests in the same order: %s' % (len(heard), ' '.join(heard)))
    return 0
