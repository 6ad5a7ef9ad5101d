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
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lan_peers import (captured, expect_no_bad_packets, fields, free_port, run_client, served,
                       skip, tshark_or_skip)


def main():
    serve, client = sys.argv[1], sys.argv[2]
    tshark = tshark_or_skip()
    core = free_port()
    with served(serve, "vxi11", f"tcp:{core}") as first, \
            tempfile.TemporaryDirectory() as work:
        if "no portmapper" in first:
            skip("port 111 is taken, so our client would not reach this server")
        capture = os.path.join(work, "vxi11.pcapng")
        # The portmapper and the core channel only: other programs' traffic on
        # loopback (a test moving megabytes) would swell the capture.
        with captured(tshark, f"tcp port 111 or tcp port {core}", capture):
            run_client(client, "--driver", "vxi11:127.0.0.1/gpib0", "--address", "5")
        decode = ["-d", f"tcp.port=={core},rpc"]
        expect_no_bad_packets(tshark, capture, decode,
                              among=f"tcp.port == 111 || tcp.port == {core} || rpc")
        calls = fields(tshark, capture, decode, "vxi11_core", "rpc.procedure")
        # create_link, device_write, device_read, device_readstb,
        # device_clear, device_enable_srq, create_intr_chan.
        wanted = {"10", "11", "12", "13", "15", "20", "25"}
        missing = wanted - set(calls)
        if missing:
            sys.exit(f"the capture lacks the calls {sorted(missing)}; it has {sorted(set(calls))}")
        print(f"tshark decodes {len(calls)} VXI-11 calls and replies, none malformed")


if __name__ == "__main__":
    main()
