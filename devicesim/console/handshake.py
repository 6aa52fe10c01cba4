"""The console's door: the file that names its port and token for its user only, and the proofs
by which a client and the console each show the other that they know the token without sending it."""

import hmac
import os

DOOR = '.device-console'   # in the prefix: "PORT PID TOKEN"
NO_TOKEN = 'this console answers only its own user: ./run console proves it with the token in the prefix\'s .device-console'


def proof(token, who, nonce):
    """What only a holder of the token can say about a nonce; the token itself never crosses."""
    return hmac.new(token.encode(), ('%s %s' % (who, nonce)).encode(), 'sha256').hexdigest()


def proves(token, who, nonce, given):
    return hmac.compare_digest(given, proof(token, who, nonce))


def write_private(path, text):
    """Writes a file only its user can read, whole or not at all."""
    work = '%s.%d.new' % (path, os.getpid())
    fd = os.open(work, os.O_WRONLY | os.O_CREAT | os.O_TRUNC | os.O_NOFOLLOW, 0o600)
    with os.fdopen(fd, 'w', encoding='utf-8') as f:
        f.write(text)
    os.replace(work, path)


def open_door(prefix, port, token):
    write_private(os.path.join(prefix, DOOR), '%d %d %s\n' % (port, os.getpid(), token))


def close_door(prefix):
    """Removes the door file if it is still this console's: a console that outlived its device
    must not close the door of the next one."""
    path = os.path.join(prefix, DOOR)
    try:
        with open(path) as f:
            mine = f.read().split()[1:2] == [str(os.getpid())]
        if mine:
            os.remove(path)
    except (OSError, IndexError):
        pass


def read_door(prefix):
    """(port, token) of the console in prefix; OSError or ValueError when there is none."""
    with open(os.path.join(prefix, DOOR)) as f:
        port, _, token = f.read().split()[:3]
    return int(port), token
