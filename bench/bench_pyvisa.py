#!/usr/bin/python3
"""FETC:ERAT? round trips through PyVISA (pyvisa-py backend) against
`corvane --headless --simulate --scpi=127.0.0.1:0`: median and 99th percentile,
the VISA library's share included. Needs the Debian packages python3-pyvisa
and python3-pyvisa-py.

    bench/bench_pyvisa.py build/corvane [N]        (N round trips, default 2000)
"""
import re
import subprocess
import sys
import tempfile
import time

import pyvisa


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    err = tempfile.TemporaryFile(mode="w+")
    server = subprocess.Popen([sys.argv[1], "--headless", "--simulate", "--scpi=127.0.0.1:0"],
                              stdout=subprocess.DEVNULL, stderr=err)
    try:
        port = None
        for _ in range(200):  # the port, and the instrument connected
            err.seek(0)
            text = err.read()
            m = re.search(r"^corvane: SCPI on 127\.0\.0\.1:(\d+)$", text, re.M)
            if m and re.search(r"^corvane: measuring ", text, re.M):
                port = int(m.group(1))
                break
            time.sleep(0.05)
        if port is None:
            print("corvane did not say where SCPI listens")
            return 1
        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource("TCPIP0::127.0.0.1::%d::SOCKET" % port, read_termination="\n",
                                write_termination="\n", timeout=5000)
        inst.query("*IDN?")
        times = []
        for _ in range(n):
            t = time.perf_counter()
            inst.query("FETC:ERAT?")
            times.append(time.perf_counter() - t)
        times.sort()
        print("pyvisa FETC:ERAT? round trips: %d, median %.3f ms, p99 %.3f ms, max %.3f ms"
              % (n, times[n // 2] * 1e3, times[min(n - 1, int(0.99 * n))] * 1e3, times[-1] * 1e3))
        inst.close()
        return 0
    finally:
        server.terminate()
        server.wait(10)


if __name__ == "__main__":
    sys.exit(main())
