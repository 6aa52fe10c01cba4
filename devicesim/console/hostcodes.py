"""The names of the "HL_SOFTKEY" codes, read at run time from the product's own header
(shared/HostCodes.h), so the console's watch, the device's page and the replay's report name a
code as the programs do and never from a copy kept by hand. The main menu's code 200 is the
simulated world's own and is read from its header (devicesim/common/World.h) the same way.

A code's arguments are the constants its comment names by prefix ("RCV_: volume, ..." or
"LOCK_RELEASE frees ...") or, for the menu, those of the enum that follows it."""

import os
import re

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PRODUCT = os.path.join(ROOT, 'shared', 'HostCodes.h')
WORLD = os.path.join(ROOT, 'devicesim', 'common', 'World.h')

CONSTANT = re.compile(r'\b([A-Z][A-Z0-9_]*)\s*=\s*(-?\d+)\s*,?\s*(?://\s*(.*))?')
PREFIX = re.compile(r'\b([A-Z][A-Z0-9]*_)')


def words(name, prefix=''):
    """'RCV_PIP' less 'RCV_' -> 'pip'; 'PIPLEAVE_ARG' less 'PIPLEAVE_' -> ''."""
    rest = name[len(prefix):] if name.startswith(prefix) else name
    rest = re.sub(r'(^|_)ARG$', '', rest)
    return rest.replace('_', ' ').lower().strip()


class Table:
    def __init__(self, header=PRODUCT, world=WORLD):
        self.codes = {}      # code -> (name, [argument prefixes])
        self.constants = []  # (name, value) of every constant, in order
        with open(header, encoding='utf-8') as f:
            for line in f:
                m = CONSTANT.search(line)
                if not m:
                    continue
                name, value, comment = m.group(1), int(m.group(2)), m.group(3) or ''
                self.constants.extend((n, int(v)) for n, v in re.findall(r'\b([A-Z][A-Z0-9_]*)\s*=\s*(-?\d+)', line))
                if name.startswith('SK_'):
                    self.codes.setdefault(value, (words(name, 'SK_'), PREFIX.findall(comment)))
        self._menu(world)

    def _menu(self, world):
        try:
            with open(world, encoding='utf-8') as f:
                text = f.read()
        except OSError:
            return
        m = re.search(r'kMenuRequest\s*=\s*(\d+);\s*enum\s+\w+\s*:\s*int\s*\{([^}]*)\}', text)
        if m:
            self.codes[int(m.group(1))] = ('main menu', ['MENU_'])
            self.constants.extend((n, int(v)) for n, v in re.findall(r'\b(MENU_[A-Z0-9_]+)\s*=\s*(\d+)', m.group(2)))

    def name(self, code, arg):
        """'receiver: pip' for 100/24; '' for a code the header does not name."""
        if code not in self.codes:
            return ''
        head, prefixes = self.codes[code]
        for prefix in prefixes:
            for n, v in self.constants:
                if v == arg and n.startswith(prefix):
                    what = words(n, prefix)
                    return '%s: %s' % (head, what) if what else head
        return head


_table = None


def table():
    global _table
    if _table is None:
        try:
            _table = Table()
        except OSError:
            _table = False   # a console without the sources names nothing
    return _table


CODE_IN_LINE = re.compile(r'^((?:\S+ )?(?:request|send) (-?\d+)/(-?\d+))(?![\d/])')


def named(line):
    """A traffic line with the code's name after its numbers: 'request 100/24' ->
    'request 100/24 (receiver: pip)'; other lines as they are."""
    m = CODE_IN_LINE.match(line)
    t = table()
    if not m or not t:
        return line
    name = t.name(int(m.group(2)), int(m.group(3)))
    if not name or line[m.end():].startswith(' (%s)' % name):
        return line
    return '%s (%s)%s' % (m.group(1), name, line[m.end():])


def code_name(pair):
    """'100/24' -> 'receiver: pip' (or '')."""
    t = table()
    try:
        code, arg = (int(x) for x in pair.split('/'))
    except ValueError:
        return ''
    return t.name(code, arg) if t else ''


def named_pair(pair):
    """'100/24' -> '100/24 (receiver: pip)' (or '100/24')."""
    name = code_name(pair)
    return '%s (%s)' % (pair, name) if name else pair
