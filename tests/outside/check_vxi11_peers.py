#!/usr/bin/env python3
"""Programs we did not write reach the bench through `vireon-serve vxi11`:
lxi-tools' `lxi scpi` and pyvisa-py's VXI-11 client. Binary blocks are
compared byte for byte with what the same bench sends through another of our
paths, the Prologix adapter simulator. Where tshark can capture (root), its
RPC and vxi11_core dissectors read the whole exchange on loopback and find
nothing malformed.

Usage: check_vxi11_peers.py VIREON_SERVE
Exit 77 (skipped) when a peer is missing or port 111 cannot be had, unless
VIREON_REQUIRE_OUTSIDE=1.
"""
import os
import shutil
import socket
import struct
import tempfile
import subprocess
import sys
import time

REQUIRE = os.environ.get("VIREON_REQUIRE_OUTSIDE") == "1"
BLOCK_QUERY = "DAT:SOU CH1;DAT:ENC RIB;DAT:WID 2;DAT:STAR 1;DAT:STOP 20000;CURV?"


def skip(why):
    print(f"skipped: {why}")
    sys.exit(1 if REQUIRE else 77)


def start(serve, *args):
    proc = subprocess.Popen([serve, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True)
    first = proc.stdout.readline().strip()
    if not first:
        proc.kill()
        sys.exit(f"vireon-serve {' '.join(args)} did not start: {proc.stderr.read().strip()}")
    lines = [first]
    if args[0] == "vxi11":
        # The rest of what it prints comes at once; stop at the inst0 line.
        while not lines[-1].endswith("::inst0::INSTR") and "no portmapper" not in lines[-1]:
            line = proc.stdout.readline().strip()
            if not line:
                break
            lines.append(line)
    return proc, lines


def prologix_block(address):
    """The block the bench sends through the Prologix adapter simulator."""
    host, port = address.rsplit(":", 1)
    with socket.create_connection((host, int(port)), timeout=10) as s:
        s.sendall(f"++addr 22\n{BLOCK_QUERY}\n++read eoi\n".encode())
        data = b""
        while True:
            if data.startswith(b"#") and len(data) >= 2:
                digits = int(chr(data[1]))
                if len(data) >= 2 + digits:
                    whole = 2 + digits + int(data[2:2 + digits]) + 1  # and the final LF
                    if len(data) >= whole:
                        return data[:whole]
            more = s.recv(65536)
            if not more:
                return data
            data += more


def core_port():
    """The core channel's port, as the portmapper on 111 gives it (GETPORT over UDP)."""
    words = (0x5EB1, 0, 2, 100000, 2, 3, 0, 0, 0, 0, 0x0607AF, 1, 6, 0)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(5)
        s.sendto(struct.pack(">14I", *words), ("127.0.0.1", 111))
        reply = s.recv(512)
    return struct.unpack(">I", reply[-4:])[0]


class Capture:
    """tshark on loopback, on the portmapper's and the core channel's ports only."""

    def __init__(self, port):
        self.port = port
        self.file = tempfile.NamedTemporaryFile(suffix=".pcapng", delete=False).name
        os.chmod(self.file, 0o666)  # dumpcap may drop to another user to write it
        self.proc = subprocess.Popen(
            ["tshark", "-i", "lo", "-f", f"tcp port {port} or port 111", "-w", self.file, "-q"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        said = []
        for line in self.proc.stderr:
            if "Capturing on" in line:
                return
            said.append(line.strip())
        self.proc.wait()
        os.unlink(self.file)
        raise RuntimeError(" ".join(said)[-300:])

    def check(self):
        time.sleep(0.5)  # the last packets reach the file
        self.proc.terminate()
        self.proc.wait(timeout=10)
        read = ["tshark", "-r", self.file, "-d", f"tcp.port=={self.port},rpc"]
        calls = subprocess.run(read + ["-Y", "vxi11_core"], capture_output=True, text=True)
        bad = subprocess.run(read + ["-Y", "_ws.malformed || _ws.expert.severity>=error"],
                             capture_output=True, text=True)
        os.unlink(self.file)
        count = len(calls.stdout.splitlines())
        assert count > 0, f"tshark saw no VXI-11 core calls: {calls.stderr}"
        assert not bad.stdout.strip(), f"tshark found malformed or wrong packets:\n{bad.stdout}"
        print(f"tshark: {count} vxi11_core packets, none malformed, no expert errors")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    serve = sys.argv[1]
    if shutil.which("lxi") is None:
        skip("lxi-tools (lxi) is not installed")
    try:
        import pyvisa
    except ImportError:
        skip("pyvisa-py (python3-pyvisa-py) is not installed")

    started = time.monotonic()
    server, reach = start(serve, "vxi11")
    adapter = rm = None
    try:
        if reach[0] != "vxi11:127.0.0.1/gpib0":
            skip("port 111 is taken and no rpcbind took the registration: " + "; ".join(reach))
        print("vireon-serve vxi11 offers:", ", ".join(reach))
        capture = None
        if shutil.which("tshark") is not None and os.geteuid() == 0:
            try:
                capture = Capture(core_port())
            except RuntimeError as e:
                if REQUIRE:
                    sys.exit(f"tshark cannot capture on lo: {e}")
                print(f"tshark: cannot capture on lo, no capture ({e})")
        else:
            print("tshark: not installed or not root, no capture")

        idn = subprocess.run(["lxi", "scpi", "-a", "127.0.0.1", "-t", "5", "*IDN?"],
                             capture_output=True, text=True, timeout=20)
        lowest = idn.stdout.strip()
        assert idn.returncode == 0 and lowest.startswith("Vireon Sim,VDM-6500"), \
            f"lxi scpi *IDN? gave {idn.returncode}: {idn.stdout!r} {idn.stderr!r}"
        print(f"lxi scpi *IDN?: {lowest}")

        adapter, prologix = start(serve, "prologix", "tcp")
        reference = prologix_block(prologix[0].split(":", 1)[1])

        rm = pyvisa.ResourceManager("@py")
        for resource, identity in (("TCPIP0::127.0.0.1::inst0::INSTR", lowest),
                                   ("TCPIP0::127.0.0.1::gpib0,22::INSTR", "Vireon Sim,VSO")):
            inst = rm.open_resource(resource, timeout=5000)
            inst.read_termination = "\n"
            inst.write_termination = "\n"
            got = inst.query("*IDN?").strip()
            assert got.startswith(identity), f"{resource} *IDN? gave {got!r}"
            print(f"pyvisa-py {resource}: *IDN? {got}")

            inst.write("*CLS")
            assert inst.read_stb() & 0x10 == 0, "MAV set with nothing to read"
            inst.write("*IDN?")
            stb = inst.read_stb()
            assert stb & 0x10, f"read_stb {stb:#x} lacks MAV with an answer waiting"
            inst.clear()
            assert inst.read_stb() & 0x10 == 0, "clear left the answer in the output queue"
            print(f"  read_stb: MAV after a query ({stb:#04x}), gone after clear")

            if resource.endswith("gpib0,22::INSTR"):
                # Small chunks: the block comes in many reads ended by the request
                # size; no termination character, as the block holds line feeds.
                inst.chunk_size = 4096
                inst.read_termination = None
                inst.write(BLOCK_QUERY)
                raw = inst.read_raw()
                assert raw == reference, \
                    f"read_raw gave {len(raw)} bytes, the Prologix path {len(reference)}; " \
                    f"first difference at {next((i for i, (a, b) in enumerate(zip(raw, reference)) if a != b), min(len(raw), len(reference)))}"
                print(f"  read_raw of CURV?: {len(raw)} bytes, the same as through the "
                      f"Prologix simulator ({raw[:8]!r}...)")
            inst.close()

        # inst0 is the device at 5: a lock on one link keeps the other out.
        first = rm.open_resource("TCPIP0::127.0.0.1::inst0::INSTR", timeout=2000)
        second = rm.open_resource("TCPIP0::127.0.0.1::gpib0,5::INSTR", timeout=2000)
        first.lock_excl(timeout=1000)
        try:
            second.lock_excl(timeout=100)
            sys.exit("gpib0,5 took the lock inst0 holds")
        except pyvisa.errors.VisaIOError as e:
            assert e.error_code == pyvisa.constants.StatusCode.error_resource_locked, e
        first.unlock()
        second.lock_excl(timeout=1000)
        second.unlock()
        first.close()
        second.close()
        print("  lock_excl on inst0 refuses gpib0,5 until unlocked")
        if capture is not None:
            capture.check()
    finally:
        if rm is not None:
            rm.close()  # before the server goes, so its links close cleanly
        for proc in (server, adapter):
            if proc is not None:
                proc.terminate()
                proc.wait(timeout=10)
    print(f"all checks passed in {time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    main()
