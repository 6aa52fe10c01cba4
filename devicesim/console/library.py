#!/usr/bin/python3
"""A library of sessions: ./run replay DIR replays every *.session in DIR, one device after the
other, each with its report, and writes one report over them: a table of session, steps, verdict
and first difference, each row leading to the session's own report.

  library.py replay DIR --report OUT [--shard K/N] [--mask X,Y,W,H]... [--max-diff-pixels N] [--no-screens]
      Needs ROOT, BUILD_DIR, WINEPREFIX and DISPLAY as ./run sets them. --shard K/N replays only the
      K-th of N equal shares of the sessions sorted by name (every N-th from the K-th), so that N
      machines share a library; each writes its own OUT.
  library.py merge OUT SHARD...
      Joins the shards' reports into one under OUT.

Exit status: 1 when a session differs, else 2 when one could not be replayed, else 0."""

import argparse
import html
import json
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def sessions_in(folder):
    return sorted(f for f in os.listdir(folder) if f.endswith('.session') and os.path.isfile(os.path.join(folder, f)))


def shard_of(names, shard):
    try:
        k, n = (int(v) for v in shard.split('/'))
    except ValueError:
        k = n = 0
    if not 1 <= k <= n:
        raise ValueError('a shard is K/N with 1 <= K <= N: %s' % shard)
    return names[k - 1::n]


def replay_one(path, report, extra):
    """{session, status, line, steps, first, seconds} of one session, replayed by device.sh."""
    started = time.monotonic()
    env = dict(os.environ, TOUR='0', RECORD='', REPLAY=path, SNAPSHOT='', WEB='',
               REPLAY_OPTIONS='\t'.join(['--report', report] + extra))
    done = subprocess.run([os.path.join(os.environ['ROOT'], 'devicesim', 'device.sh')], env=env,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True)
    result = {'session': os.path.basename(path), 'status': 2, 'line': '', 'steps': 0, 'first': None}
    try:
        with open(os.path.join(report, 'verdict.json'), encoding='utf-8') as f:
            result.update(json.load(f))
    except (OSError, ValueError):
        lines = [l for l in (done.stdout + done.stderr).splitlines() if l.strip()]
        result['line'] = 'could not run: ' + (lines[-1] if lines else 'device.sh ended with %d' % done.returncode)
    if done.returncode not in (0, 1):
        result['status'] = 2   # the device stopped, whatever the report says
    result['session'] = os.path.basename(path)
    result['seconds'] = round(time.monotonic() - started, 1)
    return result


def status_of(results):
    if any(r['status'] == 1 for r in results):
        return 1
    return 2 if any(r['status'] == 2 for r in results) else 0


def write_summary(out, results, title):
    with open(os.path.join(out, 'summary.json'), 'w', encoding='utf-8') as f:
        json.dump(results, f, indent=1)
    rows = []
    for r in sorted(results, key=lambda r: r['session']):
        verdict = {0: 'same', 1: 'differs', 2: 'could not run'}[r['status']]
        link = 'sessions/%s/index.html' % r['session']
        name = ('<a href="%s">%s</a>' % (html.escape(link), html.escape(r['session']))
                if os.path.exists(os.path.join(out, link)) else html.escape(r['session']))
        first = r['line'] if r['status'] else ''
        rows.append('<tr class="s%d"><td>%s</td><td>%s</td><td>%s</td><td>%s</td></tr>' % (
            r['status'], name, r['steps'], verdict, html.escape(first)))
    counts = [sum(1 for r in results if r['status'] == s) for s in (0, 1, 2)]
    page = """<!doctype html><meta charset="utf-8"><title>%s</title>
<style>body{font:14px sans-serif;margin:16px} td,th{padding:6px;border-bottom:1px solid #ccc;text-align:left}
.s1{background:#fde0e0}.s2{background:#fff1cc}.s0{background:#e8f6e8} td:last-child{font-family:monospace}</style>
<h1>%s</h1><p>%d sessions: %d the same, %d differ, %d could not run.</p>
<table><tr><th>session</th><th>steps</th><th>verdict</th><th>first difference</th></tr>
%s</table>
""" % (html.escape(title), html.escape(title), len(results), counts[0], counts[1], counts[2], '\n'.join(rows))
    with open(os.path.join(out, 'index.html'), 'w', encoding='utf-8') as f:
        f.write(page)


def planned(args):
    """The sessions to replay, by name; ValueError when there are none."""
    names = sessions_in(args.folder)
    if not names:
        raise ValueError('no *.session in %s' % args.folder)
    if args.shard:
        names = shard_of(names, args.shard)
        if not names:
            raise ValueError('shard %s of the %d sessions in %s holds none' % (args.shard, len(sessions_in(args.folder)),
                                                                              args.folder))
    return names


def replay(args, extra):
    names = planned(args)
    if args.check:
        return 0
    out = os.path.abspath(args.report)
    os.makedirs(os.path.join(out, 'sessions'), exist_ok=True)
    results = []
    for name in names:
        report = os.path.join(out, 'sessions', name)
        shutil.rmtree(report, ignore_errors=True)
        print('[replay] %s ...' % name, flush=True)
        r = replay_one(os.path.join(os.path.abspath(args.folder), name), report, extra)
        print('[replay] %s: %s (%s s)' % (name, r['line'] or 'the same', r['seconds']), flush=True)
        results.append(r)
    title = 'Replays of %s%s' % (args.folder, ' (shard %s)' % args.shard if args.shard else '')
    write_summary(out, results, title)
    status = status_of(results)
    print('[replay] %d sessions, %d differ, %d could not run: %s' % (
        len(results), sum(r['status'] == 1 for r in results), sum(r['status'] == 2 for r in results),
        os.path.join(out, 'index.html')), flush=True)
    return status


def merge(args):
    out = os.path.abspath(args.out)
    os.makedirs(os.path.join(out, 'sessions'), exist_ok=True)
    results = []
    for shard in args.shards:
        with open(os.path.join(shard, 'summary.json'), encoding='utf-8') as f:
            part = json.load(f)
        for r in part:
            source = os.path.join(shard, 'sessions', r['session'])
            if os.path.isdir(source):
                target = os.path.join(out, 'sessions', r['session'])
                shutil.rmtree(target, ignore_errors=True)
                shutil.copytree(source, target)
        results.extend(part)
    write_summary(out, results, 'Replays of %d shards' % len(args.shards))
    print('[replay] merged %d sessions from %d shards: %s' % (len(results), len(args.shards),
                                                              os.path.join(out, 'index.html')))
    return status_of(results)


class OneLine(argparse.ArgumentParser):
    """What was mistyped, in one line, and no replay started."""

    def error(self, message):
        print('[replay] cannot: %s (./run help)' % message, file=sys.stderr)
        sys.exit(2)


def replay_options(args):
    """The options each session's replay is given."""
    extra = ['--mask=' + m for m in args.mask or []]
    if args.max_diff_pixels is not None:
        extra.append('--max-diff-pixels=%d' % args.max_diff_pixels)
    return extra + (['--no-screens'] if args.no_screens else [])


def main():
    parser = OneLine(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest='mode', required=True, parser_class=OneLine)
    r = sub.add_parser('replay')
    r.add_argument('folder')
    r.add_argument('--report', default='out/replay')
    r.add_argument('--shard')
    r.add_argument('--mask', action='append')
    r.add_argument('--max-diff-pixels', type=int)
    r.add_argument('--no-screens', action='store_true')
    r.add_argument('--check', action='store_true', help='only what was asked is checked: no replay')
    m = sub.add_parser('merge')
    m.add_argument('out')
    m.add_argument('shards', nargs='+')
    args = parser.parse_args()
    extra = replay_options(args) if args.mode == 'replay' else []
    try:
        sys.exit(replay(args, extra) if args.mode == 'replay' else merge(args))
    except (OSError, ValueError) as e:
        print('[replay] cannot: %s' % e, file=sys.stderr)
        sys.exit(2)


if __name__ == '__main__':
    main()
