#!/usr/bin/python3
"""corvane as a lab script sees it: a real VISA client (PyVISA with the
pyvisa-py backend) against `corvane --headless --simulate`, and the headless
program's exit statuses, logs and libraries. The SCPI engine and the command
table are checked in detail by tst_scpi and tst_remote.

    visa_client.py scpi     CORVANE              SCPI over VISA
    visa_client.py headless CORVANE CORVANE_SIM  exit statuses, signals, logs

Every server and simulator started here listens on 127.0.0.1 (one check
connects to this machine's own non-loopback address) and is stopped before
the script ends. Exit status 77 (skipped for CTest) when the Debian packages
python3-pyvisa and python3-pyvisa-py cannot be installed.
"""
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
IDN = "Corvane,Corvane NanoTb,10447,2.61"
SUMMARY = re.compile(r"^(\d+) (Corvane [A-Za-z ]+): (\d\.\d{6}e\+\d\d) bits, (\d+) errors, "
                     r"BER (\d\.\d{6}e[+-]\d\d), (\d+d \d\d:\d\d:\d\d)(, lost)?$")
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def equal(got, expected, what):
    check(got == expected, "%s: %r" % (what, got) + ("" if got == expected else " (expected %r)" % (expected,)))


def need_pyvisa():
    log = subprocess.run(["bash", "-c", 'source "%s/tools/scripts/need.sh" && need python3-pyvisa '
                          'python3-pyvisa-py' % ROOT], capture_output=True, text=True)
    try:
        import pyvisa  # noqa: F401
        import pyvisa_py  # noqa: F401
    except ImportError:
        print("SKIPPED: the Debian packages python3-pyvisa and python3-pyvisa-py are needed and "
              "could not be installed:\n" + (log.stdout + log.stderr)[-600:])
        sys.exit(77)


class Program:
    """corvane --headless ..., its stderr collected in a file."""

    def __init__(self, corvane, *args, cwd=None):
        self.err = tempfile.NamedTemporaryFile(prefix="corvane-err-", delete=False)
        self.out = tempfile.NamedTemporaryFile(prefix="corvane-out-", delete=False)
        self.process = subprocess.Popen([corvane, "--headless", *args], stdout=self.out,
                                        stderr=self.err, stdin=subprocess.DEVNULL, cwd=cwd)

    def output(self, file=None):
        with open((file or self.err).name, errors="replace") as f:
            return f.read()

    def wait_for(self, pattern, seconds=20):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            m = re.search(pattern, self.output(), re.M)
            if m:
                return m
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError("no %r from corvane; its stderr:\n%s" % (pattern, self.output()))

    def stop(self):
        """SIGTERM; the exit status, None when it does not end within 20 s."""
        self.process.send_signal(signal.SIGTERM)
        try:
            return self.process.wait(20)
        except subprocess.TimeoutExpired:
            return None

    def close(self):
        self.process.kill()
        self.process.wait()
        for f in (self.err, self.out):
            f.close()
            os.unlink(f.name)


def own_addresses():
    """This machine's IPv4 addresses other than loopback."""
    out = subprocess.run("ip -o -4 addr show || hostname -I", shell=True, capture_output=True,
                         text=True).stdout
    found = re.findall(r"inet (\d+\.\d+\.\d+\.\d+)/", out) or out.split()
    return [a for a in found if not a.startswith("127.") and ":" not in a]


# --- SCPI -------------------------------------------------------------------------

def scpi(corvane):
    need_pyvisa()
    import pyvisa
    server = Program(corvane, "--simulate", "--scpi=127.0.0.1:0")
    try:
        port = int(server.wait_for(r"^corvane: SCPI on 127\.0\.0\.1:(\d+)$").group(1))
        server.wait_for(r"^corvane: measuring 10447 Corvane NanoTb on ")
        rm = pyvisa.ResourceManager("@py")
        resource = "TCPIP0::127.0.0.1::%d::SOCKET" % port
        a = rm.open_resource(resource, read_termination="\n", write_termination="\n", timeout=10000)
        b = rm.open_resource(resource, read_termination="\n", write_termination="\n", timeout=10000)

        equal(a.query("*IDN?"), IDN, "*IDN?")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and a.query("FETC:ALL?").startswith("0,"):
            time.sleep(0.05)  # the first record is on its way
        fields = a.query("FETC:ALL?").split(",")
        equal(len(fields), 14, "FETC:ALL? has 14 fields")
        equal(fields[5:7] + fields[11:14], ["10312500000", "PRBS31", "1", "1", "0"],
              "FETC:ALL? rate, pattern, signal, sync, stale")
        a.write("SOUR:PATT PRBS7;:OUTP OFF;:SOUR:WAV 1551")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and a.query("SOUR:PATT?;WAV?") != "PRBS7;1.551320E+03":
            time.sleep(0.1)
        equal(a.query("SOUR:PATT?;WAV?;:OUTP?"), "PRBS7;1.551320E+03;0",
              "the instrument took the pattern, wavelength and transmitter")

        # The error queue, and a second client with its own.
        a.write("BOGUS")
        equal(b.query("SYST:ERR:COUN?"), "0", "the other client's queue is empty")
        equal(a.query("SYST:ERR?;ERR?"), '-113,"Undefined header";0,"No error"', "the error queue")

        # *OPC? waits for the eye scan (some 1.5 s); the scan is then there to read.
        equal(a.query("EYE:STAR;*OPC?"), "1", "*OPC? after EYE:STAR")
        equal(len(a.query("EYE:DATA?").split(",")), 4096, "EYE:DATA? samples")
        a.close()
        b.close()

        # Loopback unless an address is named; a named one is used with a warning.
        addresses = own_addresses()
        if not addresses:
            print("SKIPPED (part): this machine has no non-loopback IPv4 address to try")
        else:
            address = addresses[0]
            try:
                socket.create_connection((address, port), timeout=5).close()
                check(False, "the server is not reachable on %s" % address)
            except OSError as e:
                check(True, "the server is not reachable on %s (%s)" % (address, e))
            named = Program(corvane, "--simulate", "--scpi=%s:0" % address)
            try:
                named_port = int(named.wait_for(r"^corvane: SCPI on %s:(\d+)$" % re.escape(address)).group(1))
                named.wait_for(r"^corvane\.remote: .*%s.*not a loopback address" % re.escape(address))
                named.wait_for(r"^corvane: measuring ")
                other = socket.create_connection((address, named_port), timeout=10)
                other.sendall(b"*IDN?\n")
                equal(other.makefile().readline().strip(), IDN, "reachable on %s when named" % address)
                other.close()
            finally:
                named.close()
    finally:
        status = server.stop()
        equal(status, 0, "corvane --headless exit status after SIGTERM")
        server.close()


# --- Headless ---------------------------------------------------------------------

def run(corvane, *args, cwd=None, seconds=60):
    p = subprocess.run([corvane, "--headless", *args], capture_output=True, text=True,
                       timeout=seconds, cwd=cwd, stdin=subprocess.DEVNULL)
    return p.returncode, p.stdout, p.stderr


def summaries(stdout):
    return [SUMMARY.match(line) for line in stdout.splitlines()]


def csv_rows(path):
    with open(path, newline="") as f:
        rows = f.read().split("\r\n")
    os.unlink(path)
    return rows


def headless(corvane, corvane_sim):
    work = tempfile.mkdtemp(prefix="corvane-headless-")

    status, out, err = run(corvane, "--simulate", "--log", os.path.join(work, "run.jsonl"),
                           "--duration", "3s")
    equal(status, 0, "exit status after --duration 3s")
    lines = summaries(out)
    check(len(lines) == 1 and lines[0] is not None and lines[0].group(1, 2, 4, 5) ==
          ("10447", "Corvane NanoTb", "0", "0.000000e+00"), "summary line: %r" % out)
    with open(os.path.join(work, "run.jsonl")) as f:
        records = [json.loads(line) for line in f.read().splitlines()]
    check(len(records) >= 2 and all(
        r["rate_bps"] == 10312500000 and r["pattern"] == "PRBS31" and r["errors"] == 0 and
        r["wavelength_nm"] == 1550.12 and r["sync"] is True for r in records),
        "JSONL rows: %r" % records[-1:])
    os.unlink(os.path.join(work, "run.jsonl"))

    # A simulator that makes errors, reached through --port.
    sim = subprocess.Popen([corvane_sim, "--ber", "1e-6"], stdout=subprocess.PIPE, text=True)
    try:
        path = sim.stdout.readline().strip()
        status, out, err = run(corvane, "--port", path, "--max-ber", "1e-9", "--duration", "2s")
        equal(status, 1, "exit status with a BER above --max-ber")
        lines = summaries(out)
        check(len(lines) == 1 and lines[0] is not None and float(lines[0].group(5)) > 1e-9,
              "summary with the BER: %r" % out)
        status, out, err = run(corvane, "--port", path, "--max-ber", "1e-3", "--duration", "2s")
        equal(status, 0, "exit status with a BER below --max-ber")
    finally:
        sim.terminate()
        sim.wait(10)

    # The only instrument unplugged in the middle of a run without an end.
    sim = subprocess.Popen([corvane_sim, "--unplug-after", "3"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True)
    try:
        path = sim.stdout.readline().strip()
        status, out, err = run(corvane, "--port", path, seconds=30)
        equal(status, 3, "exit status with every instrument lost")
        check(re.search(r"^corvane: \d+ lost: ", err, re.M) is not None,
              "the message says it was lost: %r" % err.strip().splitlines()[-1:])
        lines = summaries(out)
        check(len(lines) == 1 and lines[0] is not None and lines[0].group(7) == ", lost",
              "summary of a lost instrument: %r" % out)
    finally:
        sim.terminate()
        sim.wait(10)

    status, out, err = run(corvane, "--simulate", "--log", "/no/such/folder/run.csv",
                           "--duration", "2s")
    equal(status, 2, "exit status for a log that cannot be written")
    check("Cannot write the log file /no/such/folder/run.csv: No such file or directory" in err,
          "the message says why: %r" % err.strip().splitlines()[-1:])

    status, out, err = run(corvane, "--simulate=2", "--all", "--log", "run.csv", cwd=work)
    equal(status, 2, "exit status for two instruments sharing one log")
    check("{serial}" in err, "the message names {serial}: %r" % err.strip())
    check(not os.listdir(work), "no log file was made")

    for args, says in (([], "no instrument found"),
                       (["--simulate", "--instrument", "99999"], "no instrument 99999 found")):
        status, out, err = run(corvane, "--duration", "2s", *args)
        check(status == 3 and says in err, "exit status 3, %r: %d, %r" % (says, status, err))

    # SIGTERM: the CSV log closed with every row complete, the summary
    # printed, and no QtGui or QtWidgets in the process.
    p = Program(corvane, "--simulate", "--log", os.path.join(work, "soak-{serial}.csv"))
    try:
        p.wait_for(r"^corvane: measuring 10447 Corvane NanoTb on .*, log .*soak-10447\.csv$")
        time.sleep(2.5)
        with open("/proc/%d/maps" % p.process.pid) as f:
            libraries = set(re.findall(r"libQt[56](\w+)\.so", f.read()))
        check("Core" in libraries and not libraries & {"Gui", "Widgets"}, "Qt libraries: %s" % libraries)
        equal(p.stop(), 0, "exit status after SIGTERM")
        lines = summaries(p.output(p.out))
        check(len(lines) == 1 and lines[0] is not None, "summary after SIGTERM: %r" % lines)
    finally:
        p.close()
    rows = csv_rows(os.path.join(work, "soak-10447.csv"))
    check(rows[0].startswith("Corvane NanoT Log file ") and len(rows) >= 4, "CSV: %r" % rows[:2])
    equal(rows[1], "Time, Rate, Pattern, Temp (C), Rx (dBm), Count, Errors, BER", "CSV columns")
    row = re.compile(r"^\d\d:\d\d:\d\d, 10312500000, PRBS31, -?\d+\.\d, -?\d+\.\d, "
                     r"\d\.\d{3}e\+\d\d, 0\.000e\+00, 0\.000e-00$")
    check(all(row.match(r) for r in rows[2:]), "every CSV row complete: %r" % rows[-1])

    status, out, err = run(corvane, "--simulate=2", "--all", "--log", "run-{serial}.csv",
                           "--duration", "3s", cwd=work)
    equal(status, 0, "exit status with two instruments")
    equal(sorted(os.listdir(work)), ["run-10447.csv", "run-10448.csv"], "one log each")
    for name in ("run-10447.csv", "run-10448.csv"):
        rows = csv_rows(os.path.join(work, name))
        check(len(rows) >= 4 and row.match(rows[2]) is not None, "%s has rows" % name)
    equal(sorted(m.group(1) for m in summaries(out) if m), ["10447", "10448"], "a summary line each")
    os.rmdir(work)


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("scpi", "headless"):
        print(__doc__)
        return 2
    programs = [os.path.abspath(p) for p in sys.argv[2:]]
    if sys.argv[1] == "scpi":
        scpi(*programs[:1])
    else:
        headless(*programs[:2])
    print("%s: %d checks failed" % (sys.argv[1], len(failures)) if failures else
          "%s: every check passed" % sys.argv[1])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
