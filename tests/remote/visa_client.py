#!/usr/bin/python3
"""corvane as a lab script sees it: a real VISA client (PyVISA with the
pyvisa-py backend) and raw sockets against `corvane --headless --simulate`,
and the headless program's exit statuses, logs and libraries.

    visa_client.py scpi     CORVANE              SCPI over VISA and raw sockets
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
    try:
        import pyvisa  # noqa: F401
        import pyvisa_py  # noqa: F401
        return
    except ImportError:
        pass
    log = subprocess.run(["bash", "-c", 'source "%s/tools/scripts/need.sh" && need python3-pyvisa '
                          'python3-pyvisa-py' % ROOT], capture_output=True, text=True)
    try:
        import pyvisa  # noqa: F401,F811
        import pyvisa_py  # noqa: F401,F811
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

    def stderr(self):
        with open(self.err.name, errors="replace") as f:
            return f.read()

    def stdout(self):
        with open(self.out.name, errors="replace") as f:
            return f.read()

    def wait_for(self, pattern, seconds=20):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            m = re.search(pattern, self.stderr(), re.M)
            if m:
                return m
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError("no %r from corvane; its stderr:\n%s" % (pattern, self.stderr()))

    def port(self, what="SCPI"):
        return int(self.wait_for(r"^corvane: %s on 127\.0\.0\.1:(\d+)$" % what).group(1))

    def stop(self, sig=signal.SIGTERM, seconds=20):
        if self.process.poll() is None:
            self.process.send_signal(sig)
        try:
            return self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            return None

    def close(self):
        self.stop(signal.SIGKILL, 5)
        for f in (self.err, self.out):
            f.close()
            os.unlink(f.name)


class Raw:
    """A raw TCP client: bytes in any pieces, reply lines out."""

    def __init__(self, port, address="127.0.0.1"):
        self.sock = socket.create_connection((address, port), timeout=10)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buffer = b""

    def send(self, data):
        self.sock.sendall(data)

    def line(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("closed by the server")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return line.decode()

    def ask(self, text):
        self.send(text.encode() + b"\n")
        return self.line()

    def close(self):
        self.sock.close()


def closed_by_server(sock):
    sock.settimeout(10)
    try:
        return sock.recv(1) == b""
    except (ConnectionResetError, BrokenPipeError):
        return True
    except socket.timeout:
        return False


def own_addresses():
    """This machine's IPv4 addresses other than loopback."""
    try:
        out = subprocess.run(["ip", "-o", "-4", "addr", "show"], capture_output=True, text=True).stdout
    except FileNotFoundError:
        out = ""
    found = re.findall(r"inet (\d+\.\d+\.\d+\.\d+)/", out)
    if not found:
        found = subprocess.run(["hostname", "-I"], capture_output=True, text=True).stdout.split()
    return [a for a in found if not a.startswith("127.") and ":" not in a]


# --- SCPI -------------------------------------------------------------------------

def scpi(corvane):
    need_pyvisa()
    import pyvisa
    server = Program(corvane, "--simulate", "--scpi=127.0.0.1:0")
    try:
        port = server.port()
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
        equal(fields[5:7], ["10312500000", "PRBS31"], "FETC:ALL? rate and pattern")
        equal(fields[11:14], ["1", "1", "0"], "FETC:ALL? signal, sync, stale")
        equal(a.query("FETC:ERAT?;ECO?"), "0.000000E+00;0", "joined FETC:ERAT?;ECO?")
        check(int(a.query("FETC:BCO?")) > 0, "FETC:BCO? counts bits")
        equal(a.query("SOUR:PATT:CAT?"),
              "PRBS63,PRBS58,PRBS31,PRBS23,PRBS15,PRBS11,PRBS9,PRBS7,Repeat", "SOUR:PATT:CAT?")
        a.write("SOUR:PATT PRBS7;:OUTP OFF;:SOUR:WAV 1551")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and a.query("SOUR:PATT?;WAV?") != "PRBS7;1.551320E+03":
            time.sleep(0.1)
        equal(a.query("SOUR:PATT?;WAV?;:OUTP?"), "PRBS7;1.551320E+03;0",
              "the instrument took the pattern, wavelength and transmitter")
        a.write("OUTP ON;:SOUR:PATT PRBS31")
        equal(a.query("SOUR:RATE 1E9;:SYST:ERR?"), '-222,"Data out of range"', "a rate out of range")
        equal(a.query("XCVR:REG? A0,0"), "3", "XCVR:REG? A0,0 (SFP identifier)")
        equal(a.query("XCVR:REG A2,128,1;:SYST:ERR?"), '-203,"Command protected"', "writes protected")

        # The error queue, and a second client with its own.
        a.write("BOGUS")
        a.write("SOUR:PATT K28.5")
        equal(b.query("SYST:ERR:COUN?"), "0", "the other client's queue is empty")
        equal(a.query("SYST:ERR:COUN?"), "2", "two errors queued")
        equal(a.query("SYST:ERR?"), '-113,"Undefined header"', "the oldest error first")
        equal(a.query("SYST:ERR?"), '-224,"Illegal parameter value"', "then the next")
        equal(a.query("SYST:ERR?"), '0,"No error"', "then none")
        b.write("EYE:SCAL 50")
        equal(a.query("EYE:SCAL?") + "," + b.query("EYE:SCAL?"), "200,50", "scales per client")

        # *OPC? waits for the eye scan; the scan is then there to read.
        equal(a.query("EYE:STAR;*OPC?"), "1", "*OPC? after EYE:STAR")
        samples = a.query("EYE:DATA?").split(",")
        equal(len(samples), 4096, "EYE:DATA? samples")
        check(all(0 <= int(s) <= 255 for s in samples), "every sample a byte")
        check(re.fullmatch(r"\d\.\d{6}E[+-]\d\d,\d\.\d{6}E[+-]\d\d", a.query("EYE:OPEN?")) is not None,
              "EYE:OPEN? is <UI>,<mV>")
        a.close()
        b.close()

        # CR LF, and a line in pieces.
        raw = Raw(port)
        raw.send(b"*ID")
        time.sleep(0.1)
        raw.send(b"N?\r")
        time.sleep(0.1)
        raw.send(b"\n")
        equal(raw.line(), IDN, "*IDN? in three packets ending in CR LF")
        raw.send(b"SYST:ERR?\r\n*IDN?\r\n")
        equal([raw.line(), raw.line()], ['0,"No error"', IDN], "two lines in one packet")
        # A line past 4096 bytes is dropped with -363; the connection goes on.
        raw.send(b"*IDN?" + b" " * 5000 + b"\n")
        equal(raw.ask("SYST:ERR?"), '-363,"Input buffer overrun"', "a long line")
        equal(raw.ask("*IDN?"), IDN, "the connection after a long line")

        # A client gone mid-query: the others carry on, the line is handed back.
        gone = Raw(port)
        gone.send(b"EYE:STAR;*OPC?\n")
        time.sleep(0.05)
        gone.close()
        deadline = time.monotonic() + 10
        reply = raw.ask("XCVR:REG? A0,0;:SYST:ERR?")
        while reply == '-200,"Execution error;busy"' and time.monotonic() < deadline:
            time.sleep(0.05)  # the server may not have seen the client go yet
            reply = raw.ask("XCVR:REG? A0,0;:SYST:ERR?")
        equal(reply, '3;0,"No error"', "a register read after a client left mid-scan")

        # Eight clients at once; the ninth is closed.
        clients = [raw] + [Raw(port) for _ in range(7)]
        equal([c.ask("*IDN?") for c in clients], [IDN] * 8, "eight clients answered")
        ninth = socket.create_connection(("127.0.0.1", port), timeout=10)
        check(closed_by_server(ninth), "the ninth client is closed")
        ninth.close()
        for c in clients:
            c.close()
        server.wait_for(r"refused: 8 clients are connected already")

        # Loopback unless an address is named.
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
                check(True, "a warning on stderr for %s" % address)
                named.wait_for(r"^corvane: measuring ")
                other = Raw(named_port, address)
                equal(other.ask("*IDN?"), IDN, "reachable on %s when named" % address)
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


def headless(corvane, corvane_sim):
    work = tempfile.mkdtemp(prefix="corvane-headless-")

    status, out, err = run(corvane, "--simulate", "--duration", "2s")
    equal(status, 0, "exit status after --duration 2s")
    lines = summaries(out)
    check(len(lines) == 1 and lines[0] is not None and lines[0].group(1, 2, 4, 5) ==
          ("10447", "Corvane NanoTb", "0", "0.000000e+00"), "summary line: %r" % out)

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

    status, out, err = run(corvane, "--duration", "2s")
    equal(status, 3, "exit status without an instrument")
    check("no instrument found" in err, "the message: %r" % err.strip().splitlines()[:1])
    status, out, err = run(corvane, "--simulate", "--instrument", "99999", "--duration", "2s")
    equal(status, 3, "exit status for an instrument not found")
    check("no instrument 99999 found" in err, "the message names it")

    # SIGTERM: the CSV log closed with every row complete, the summary
    # printed, and no QtGui or QtWidgets in the process.
    p = Program(corvane, "--simulate", "--log", os.path.join(work, "soak-{serial}.csv"))
    try:
        p.wait_for(r"^corvane: measuring 10447 Corvane NanoTb on .*, log .*soak-10447\.csv$")
        time.sleep(2.5)
        with open("/proc/%d/maps" % p.process.pid) as f:
            maps = f.read()
        check("libQt5Core" in maps or "libQt6Core" in maps, "the process maps QtCore")
        for library in ("libQt5Gui", "libQt5Widgets", "libQt6Gui", "libQt6Widgets"):
            check(library not in maps, "the process maps no %s" % library)
        equal(p.stop(), 0, "exit status after SIGTERM")
        lines = summaries(p.stdout())
        check(len(lines) == 1 and lines[0] is not None, "summary after SIGTERM: %r" % p.stdout())
    finally:
        p.close()
    with open(os.path.join(work, "soak-10447.csv"), newline="") as f:
        rows = f.read().split("\r\n")
    check(rows[0].startswith("Corvane NanoT Log file "), "CSV header: %r" % rows[0])
    equal(rows[1], "Time, Rate, Pattern, Temp (C), Rx (dBm), Count, Errors, BER", "CSV columns")
    check(len(rows) >= 4, "CSV rows: %d" % (len(rows) - 2))
    row = re.compile(r"^\d\d:\d\d:\d\d, 10312500000, PRBS31, -?\d+\.\d, -?\d+\.\d, "
                     r"\d\.\d{3}e\+\d\d, 0\.000e\+00, 0\.000e-00$")
    check(all(row.match(r) for r in rows[2:]), "every CSV row complete: %r" % rows[-1])
    os.unlink(os.path.join(work, "soak-10447.csv"))

    status, out, err = run(corvane, "--simulate", "--log", os.path.join(work, "run.jsonl"),
                           "--duration", "3s")
    equal(status, 0, "exit status with a JSONL log")
    with open(os.path.join(work, "run.jsonl")) as f:
        records = [json.loads(line) for line in f.read().splitlines()]
    check(len(records) >= 2, "JSONL rows: %d" % len(records))
    check(all(r["rate_bps"] == 10312500000 and r["pattern"] == "PRBS31" and r["errors"] == 0 and
              r["wavelength_nm"] == 1550.12 and r["sync"] is True for r in records),
          "JSONL rows: %r" % records[-1:])
    os.unlink(os.path.join(work, "run.jsonl"))

    status, out, err = run(corvane, "--simulate=2", "--all", "--log", "run-{serial}.csv",
                           "--duration", "3s", cwd=work)
    equal(status, 0, "exit status with two instruments")
    equal(sorted(os.listdir(work)), ["run-10447.csv", "run-10448.csv"], "one log each")
    for name in ("run-10447.csv", "run-10448.csv"):
        with open(os.path.join(work, name), newline="") as f:
            rows = f.read().split("\r\n")
        check(len(rows) >= 4 and row.match(rows[2]) is not None, "%s has rows" % name)
        os.unlink(os.path.join(work, name))
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
