#!/usr/bin/env python3
# Plants the faults of mutants.py one at a time in src/ of a checkout, rebuilds
# it, runs CTest and records whether the tests caught each one.
#
#   tools/mutants/plant.py CHECKOUT RESULTS.jsonl [ID,ID,...|check]
#
# CHECKOUT needs a Ninja build in CHECKOUT/build. Use a separate worktree:
# src/ is restored with git at the end. Results already in RESULTS.jsonl are
# skipped, so an interrupted run goes on where it stopped. "check" only says
# which faults no longer apply to the code (their text is not found once).
import subprocess, sys, os, time, json
exec(open(os.environ.get('MUTANTS', os.path.join(os.path.dirname(os.path.abspath(__file__)), 'mutants.py'))).read())
repo = sys.argv[1]; out = sys.argv[2]
only = sys.argv[3].split(',') if len(sys.argv) > 3 and sys.argv[3] else None
build = os.path.join(repo, 'build')

def check():
    bad = 0
    for mid, f, old, new, what in M:
        text = open(os.path.join(repo, 'src', f)).read()
        n = text.count(old)
        if n != 1:
            print('BAD', mid, n); bad += 1
    return bad

if only == ['check']:
    sys.exit(check())
done = {}
if os.path.exists(out):
    for line in open(out):
        r = json.loads(line); done[r['id']] = r
for mid, f, old, new, what in M:
    if only and mid not in only: continue
    if mid in done: continue
    path = os.path.join(repo, 'src', f)
    orig = open(path).read()
    assert orig.count(old) == 1, mid
    open(path, 'w').write(orig.replace(old, new))
    t0 = time.time()
    b = subprocess.run(['ninja', '-C', build], capture_output=True, text=True)
    if b.returncode == 0: # a changed form is seen by its users on the second run
        b = subprocess.run(['ninja', '-C', build], capture_output=True, text=True)
    if b.returncode != 0:
        res = {'id': mid, 'result': 'build-fail', 'log': b.stdout[-2000:]}
    else:
        c = subprocess.run(['ctest', '-j8', '--timeout', '150'], cwd=build, capture_output=True, text=True)
        failed = [l.split()[3] for l in c.stdout.splitlines() if ('***Failed' in l or 'Exception' in l or '***Timeout' in l) and len(l.split()) > 3]
        res = {'id': mid, 'result': 'caught' if c.returncode != 0 else 'MISSED', 'failed': failed,
               'secs': round(time.time() - t0)}
    open(path, 'w').write(orig)
    with open(out, 'a') as o: o.write(json.dumps(res) + '\n')
    print(mid, res['result'], res.get('failed'), flush=True)
subprocess.run(['git', 'checkout', '--', 'src'], cwd=repo)
subprocess.run(['ninja', '-C', build], capture_output=True)
