#!/usr/bin/env python3
# Plants the faults of mutants.py one at a time in src/ of a checkout, rebuilds
# it, runs the whole CTest suite and records whether the tests caught each one.
#
#   tools/mutants/plant.py CHECKOUT RESULTS.jsonl [ID,ID,...|check]
#
# CHECKOUT needs a Ninja build in CHECKOUT/build. Only the programs the tests
# run are rebuilt (not the benchmarks). Each fault's file is restored right
# after its run, also when the run is interrupted (Ctrl-C, SIGTERM). Results
# already in RESULTS.jsonl are skipped, so an interrupted run goes on where it
# stopped; delete a fault's line to run it again. "check" only says which
# faults no longer apply to the code (their text is not found exactly once).
# MUTANTS=file picks another list.
#
# A run whose tests fail is run again, the failed tests only: "confirmed"
# says whether they failed the second time too (a test that fails only once
# may have failed for another reason, a loaded machine for one).
import json
import os
import re
import signal
import subprocess
import sys
import time

exec(open(os.environ.get('MUTANTS', os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                 'mutants.py'))).read())
repo = sys.argv[1]
out = sys.argv[2]
only = sys.argv[3].split(',') if len(sys.argv) > 3 and sys.argv[3] else None
build = os.path.join(repo, 'build')


def check():
    bad = 0
    for mid, f, old, new, what in M:
        text = open(os.path.join(repo, 'src', f)).read()
        n = text.count(old)
        if n != 1:
            print('BAD', mid, n)
            bad += 1
    return bad


if only == ['check']:
    sys.exit(check())


def test_targets():
    # Every program of the build but the benchmarks: the tests, the programs
    # they start (corvane, corvane-headless, corvane-sim) and their fixtures.
    listed = subprocess.run(['ninja', '-C', build, '-t', 'targets', 'all'], capture_output=True,
                            text=True, check=True).stdout
    targets = []
    for line in listed.splitlines():
        name, _, rule = line.partition(': ')
        if rule.startswith('CXX_EXECUTABLE_LINKER') and not name.startswith('bench/'):
            targets.append(name)
    return targets


def rebuild(targets):
    b = subprocess.run(['ninja', '-C', build] + targets, capture_output=True, text=True)
    if b.returncode == 0:  # a changed form is seen by its users on the second run
        b = subprocess.run(['ninja', '-C', build] + targets, capture_output=True, text=True)
    return b


def failed_tests(stdout):
    names = []
    for line in stdout.splitlines():
        m = re.search(r'Test\s+#\d+: (\S+) .*(\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|Exception)',
                      line)
        if m:
            names.append(m.group(1))
    return names


def ctest(args):
    return subprocess.run(['ctest', '--timeout', '150'] + args, cwd=build, capture_output=True,
                          text=True)


def interrupted(signum, frame):
    raise KeyboardInterrupt


signal.signal(signal.SIGTERM, interrupted)

done = {}
if os.path.exists(out):
    for line in open(out):
        r = json.loads(line)
        done[r['id']] = r
targets = test_targets()
try:
    for mid, f, old, new, what in M:
        if only and mid not in only:
            continue
        if mid in done:
            continue
        path = os.path.join(repo, 'src', f)
        orig = open(path).read()
        assert orig.count(old) == 1, mid
        try:
            open(path, 'w').write(orig.replace(old, new))
            t0 = time.time()
            b = rebuild(targets)
            built = time.time()
            if b.returncode != 0:
                res = {'id': mid, 'result': 'build-fail', 'log': b.stdout[-2000:]}
            else:
                c = ctest(['-j8'])
                failed = failed_tests(c.stdout)
                res = {'id': mid, 'result': 'caught' if c.returncode != 0 else 'MISSED',
                       'failed': failed, 'build_s': round(built - t0),
                       'test_s': round(time.time() - built)}
                if c.returncode != 0 and failed:
                    again = ctest(['-j8', '-R', '^(' + '|'.join(map(re.escape, failed)) + ')$'])
                    res['confirmed'] = again.returncode != 0
        finally:
            open(path, 'w').write(orig)
        with open(out, 'a') as o:
            o.write(json.dumps(res) + '\n')
        print(mid, res['result'], res.get('failed'), res.get('confirmed', ''), flush=True)
except KeyboardInterrupt:
    print('interrupted; src restored', flush=True)
finally:
    subprocess.run(['git', 'checkout', '--', 'src'], cwd=repo)
    subprocess.run(['ninja', '-C', build] + targets, capture_output=True)
