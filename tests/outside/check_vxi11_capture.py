#!/usr/bin/env python3
"""tshark's portmapper and VXI-11 core channel dissectors read a loopback
capture of our client talking to vireon-serve's gateway (GETPORT,
create_link, create_intr_chan, device_enable_srq, device_write and _read,
device_readstb, device_clear): nothing malformed, no error, every call there.
vireon-serve must hold port 111 (the test runs as root and has the lock on it).

Usage: check_vxi11_capture.py VIREON_SERVE VIREON_LAN_CLIENT
Exit 77 (skipped) when tshark is missing or may not capture on lo, unless
VIREON_REQUIRE_OUTSIDE=1.
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

REQUIRE = os.environ.get("VIREON_REQUIRE_OUTSIDE") == "1"


def skip(why):
    print(f"skipped: {why}")
    sys.exit(1 if REQUIRE else 77)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    serve, client = sys.argv[1], sys.argv[2]
    tshark = shutil.which("tshark")
    if not tshark:
        skip("tshark is not installed")
    core = free_port()
    server = subprocess.Popen([serve, "vxi11", f"tcp:{core}"], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
    try:
        first = server.stdout.readline().strip()
        if not first:
            sys.exit(f"vireon-serve vxi11 did not start: {server.stderr.read().strip()}")
        if "no portmapper" in first:
            skip("port 111 is taken, so our client would not reach this server")
        with tempfile.TemporaryDirectory() as work:
            capture = os.path.join(work, "vxi11.pcapng")
            # The portmapper and the core channel only: other programs' traffic
            # on loopback (a test moving megabytes) would swell the capture.
            sniffer = subprocess.Popen([tshark, "-q", "-i", "lo", "-f",
                                        f"tcp port 111 or tcp port {core}", "-w", capture],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                       text=True)
            # tshark says so on stderr once it captures (after a warning, as
            # root); anything else is why it cannot.
            said = []
            while not said or ("Capturing on" not in said[-1] and said[-1] and len(said) < 5):
                said.append(sniffer.stderr.readline())
            if "Capturing on" not in said[-1]:
                sniffer.kill()
                skip("tshark may not capture on lo: " + " ".join(l.strip() for l in said))
            time.sleep(1.5)  # it says so a little before the first packet is taken
            run = subprocess.run([client, "--driver", "vxi11:127.0.0.1/gpib0", "--address", "5"],
                                 capture_output=True, text=True, timeout=30)
            time.sleep(0.5)  # the last segments reach the capture
            sniffer.send_signal(signal.SIGINT)
            sniffer.wait(timeout=10)
            print(run.stdout, end="")
            if run.returncode != 0:
                sys.exit(f"our client failed: {run.stderr.strip()}")
            ours = f"tcp.port == 111 || tcp.port == {core} || rpc"
            decode = ["-d", f"tcp.port=={core},rpc"]
            bad = subprocess.run(
                [tshark, "-r", capture, *decode, "-Y",
                 f"({ours}) && (_ws.malformed || _ws.expert.severity >= error)"],
                capture_output=True, text=True, timeout=60)
            if bad.returncode != 0:
                sys.exit(f"tshark could not read the capture: {bad.stderr.strip()}")
            if bad.stdout.strip():
                sys.exit("tshark finds malformed or wrong packets:\n" + bad.stdout)
            calls = subprocess.run(
                [tshark, "-r", capture, *decode, "-Y", "vxi11_core",
                 "-T", "fields", "-e", "rpc.procedure"],
                capture_output=True, text=True, timeout=60).stdout.split()
            # create_link, device_write, device_read, device_readstb,
            # device_clear, device_enable_srq, create_intr_chan.
            wanted = {"10", "11", "12", "13", "15", "20", "25"}
            missing = wanted - set(calls)
            if missing:
                sys.exit(f"the capture lacks the calls {sorted(missing)}; it has {sorted(set(calls))}")
            print(f"tshark decodes {len(calls)} VXI-11 calls and replies, none malformed")
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
