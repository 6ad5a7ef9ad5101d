#!/usr/bin/env python3
"""Programs we did not write reach the bench through `vireon-serve vxi11`:
lxi-tools' `lxi scpi` and pyvisa-py's VXI-11 client. Binary blocks are
compared byte for byte with what the same bench sends through another of our
paths, the Prologix adapter simulator. (tshark reads the gateway's replies
in check_vxi11_capture.py.)

Usage: check_vxi11_peers.py VIREON_SERVE
Exit 77 (skipped) when a peer is missing or port 111 cannot be had, unless
VIREON_REQUIRE_OUTSIDE=1.
"""
import os
import shutil
import socket
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
