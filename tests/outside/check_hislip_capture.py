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
import sys
import tempfile

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from lan_peers import (captured, expect_no_bad_packets, fields, free_port, run_client,
                       served, tshark_or_skip)

# Message types a session of our client must show: Initialize and its
# response, DataEnd, DeviceClearComplete and DeviceClearAcknowledge,
# AsyncMaximumMessageSize and its response, AsyncInitialize and its
# response, AsyncDeviceClear, AsyncServiceRequest, AsyncStatusQuery and its
# response, AsyncDeviceClearAcknowledge.
WANTED = {0, 1, 7, 8, 9, 15, 16, 17, 18, 19, 20, 21, 22, 23}


def main():
    serve, client = sys.argv[1], sys.argv[2]
    tshark = tshark_or_skip()
    port = free_port()
    with served(serve, "hislip", f"tcp:{port}"), tempfile.TemporaryDirectory() as work:
        capture = os.path.join(work, "hislip.pcapng")
        with captured(tshark, f"tcp port {port}", capture):
            run_client(client, "--driver", f"hislip:127.0.0.1:{port}")
        decode = ["-d", f"tcp.port=={port},hislip"]
        expect_no_bad_packets(tshark, capture, decode)
        types = fields(tshark, capture, decode, "hislip", "hislip.messagetype")
        seen = {int(t, 0) for field in types for t in field.split(",") if t}
        missing = WANTED - seen
        if missing:
            sys.exit(f"the capture lacks message types {sorted(missing)}; it has {sorted(seen)}")
        print(f"tshark decodes {len(types)} HiSLIP segments, none malformed")


if __name__ == "__main__":
    main()
