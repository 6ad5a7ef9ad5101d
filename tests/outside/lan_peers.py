"""What the outside checks of vireon-serve's LAN servers share: starting and
stopping the server, and tshark capturing on loopback and reading the
capture back. Imported by the scripts beside it (Python puts a script's own
folder on the path) and, by path, by bench/pyvisa_vxi11.py.
"""
import contextlib
import os
import shutil
import signal
import socket
import subprocess
import sys
import time

REQUIRE = os.environ.get("VIREON_REQUIRE_OUTSIDE") == "1"


def skip(why):
    """Exit 77 (skipped), or fail when VIREON_REQUIRE_OUTSIDE=1."""
    print(f"skipped: {why}")
    sys.exit(1 if REQUIRE else 77)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@contextlib.contextmanager
def served(serve, *args):
    """Runs `vireon-serve ARGS` and yields the first line it prints (where it
    can be reached); stops it afterwards. Exits when it prints nothing."""
    server = subprocess.Popen([serve, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True)
    try:
        first = server.stdout.readline().strip()
        if not first:
            sys.exit(f"vireon-serve {' '.join(args)} did not start: "
                     f"{server.stderr.read().strip()}")
        yield first
    finally:
        server.terminate()
        server.wait(timeout=10)


def tshark_or_skip():
    tshark = shutil.which("tshark")
    if not tshark:
        skip("tshark is not installed")
    return tshark


@contextlib.contextmanager
def captured(tshark, capture_filter, path):
    """tshark writes what passes loopback under `capture_filter` to `path`
    while the block runs; skipped when it may not capture on lo."""
    sniffer = subprocess.Popen([tshark, "-q", "-i", "lo", "-f", capture_filter, "-w", path],
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    # tshark says so on stderr once it captures (after a warning, as root);
    # anything else is why it cannot.
    said = []
    while not said or ("Capturing on" not in said[-1] and said[-1] and len(said) < 5):
        said.append(sniffer.stderr.readline())
    if "Capturing on" not in said[-1]:
        sniffer.kill()
        skip("tshark may not capture on lo: " + " ".join(l.strip() for l in said))
    time.sleep(1.5)  # it says so a little before the first packet is taken
    try:
        yield
    finally:
        time.sleep(0.5)  # the last segments reach the capture
        sniffer.send_signal(signal.SIGINT)
        sniffer.wait(timeout=10)


def run_client(client, *args):
    """Runs our LAN client; prints what it says, exits when it fails."""
    run = subprocess.run([client, *args], capture_output=True, text=True, timeout=30)
    print(run.stdout, end="")
    if run.returncode != 0:
        sys.exit(f"our client failed: {run.stderr.strip()}")


def expect_no_bad_packets(tshark, path, decode, among=None):
    """Exits when tshark finds a malformed packet or an error among the
    packets `among` (a display filter; all when None)."""
    bad_filter = "_ws.malformed || _ws.expert.severity >= error"
    if among:
        bad_filter = f"({among}) && ({bad_filter})"
    bad = subprocess.run([tshark, "-r", path, *decode, "-Y", bad_filter],
                         capture_output=True, text=True, timeout=60)
    if bad.returncode != 0:
        sys.exit(f"tshark could not read the capture: {bad.stderr.strip()}")
    if bad.stdout.strip():
        sys.exit("tshark finds malformed or wrong packets:\n" + bad.stdout)


def fields(tshark, path, decode, display_filter, field):
    """The values of one field in the packets the filter shows."""
    return subprocess.run(
        [tshark, "-r", path, *decode, "-Y", display_filter, "-T", "fields", "-e", field],
        capture_output=True, text=True, timeout=60).stdout.split()
