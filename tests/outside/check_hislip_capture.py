#!/usr/bin/env python3
"""tshark's HiSLIP dissector reads a loopback capture of our client talking to
vireon-serve's HiSLIP server (Initialize and AsyncInitialize, the message
size, DataEnd and Data both ways, AsyncStatusQuery, the AsyncDeviceClear
sequence, AsyncServiceRequest): nothing malformed, no error, and every one of
those messages is there.

Usage: check_hislip_capture.py VIREON_SERVE VIREON_LAN_CLIENT
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

# Message types a session of our client must show: Initialize and its
# response, DataEnd, DeviceClearComplete and DeviceClearAcknowledge,
# AsyncMaximumMessageSize and its response, AsyncInitialize and its
# response, AsyncDeviceClear, AsyncServiceRequest, AsyncStatusQuery and its
# response, AsyncDeviceClearAcknowledge.
WANTED = {0, 1, 7, 8, 9, 15, 16, 17, 18, 19, 20, 21, 22, 23}


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
    port = free_port()
    server = subprocess.Popen([serve, "hislip", f"tcp:{port}"], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
    try:
        if not server.stdout.readline().strip():
            sys.exit(f"vireon-serve hislip did not start: {server.stderr.read().strip()}")
        with tempfile.TemporaryDirectory() as work:
            capture = os.path.join(work, "hislip.pcapng")
            sniffer = subprocess.Popen(
                [tshark, "-q", "-i", "lo", "-f", f"tcp port {port}", "-w", capture],
                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            # tshark says so on stderr once it captures (after a warning, as
            # root); anything else is why it cannot.
            said = []
            while not said or ("Capturing on" not in said[-1] and said[-1] and len(said) < 5):
                said.append(sniffer.stderr.readline())
            if "Capturing on" not in said[-1]:
                sniffer.kill()
                skip("tshark may not capture on lo: " + " ".join(l.strip() for l in said))
            time.sleep(1.5)  # it says so a little before the first packet is taken
            run = subprocess.run([client, "--driver", f"hislip:127.0.0.1:{port}"],
                                 capture_output=True, text=True, timeout=30)
            time.sleep(0.5)  # the last segments reach the capture
            sniffer.send_signal(signal.SIGINT)
            sniffer.wait(timeout=10)
            print(run.stdout, end="")
            if run.returncode != 0:
                sys.exit(f"our client failed: {run.stderr.strip()}")
            decode = ["-d", f"tcp.port=={port},hislip"]
            bad = subprocess.run(
                [tshark, "-r", capture, *decode, "-Y",
                 "_ws.malformed || _ws.expert.severity >= error"],
                capture_output=True, text=True, timeout=60)
            if bad.returncode != 0:
                sys.exit(f"tshark could not read the capture: {bad.stderr.strip()}")
            if bad.stdout.strip():
                sys.exit("tshark finds malformed or wrong packets:\n" + bad.stdout)
            types = subprocess.run(
                [tshark, "-r", capture, *decode, "-Y", "hislip", "-T", "fields",
                 "-e", "hislip.messagetype"],
                capture_output=True, text=True, timeout=60).stdout.split()
            seen = {int(t, 0) for field in types for t in field.split(",") if t}
            missing = WANTED - seen
            if missing:
                sys.exit(f"the capture lacks message types {sorted(missing)}; "
                         f"it has {sorted(seen)}")
            print(f"tshark decodes {len(types)} HiSLIP segments, none malformed")
    finally:
        server.terminate()
        server.wait(timeout=10)


if __name__ == "__main__":
    main()
