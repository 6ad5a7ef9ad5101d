#!/usr/bin/env python3
"""Times pyvisa-py's VXI-11 client and ours on the same short query against the
same `vireon-serve vxi11` (its portmapper on 111, which pyvisa-py needs: run
as root, or with port 111 free), and says how many times faster ours is.

Usage: /usr/bin/python3 bench/pyvisa_vxi11.py VIREON_SERVE VXI11_BENCH [QUERIES]
(VXI11_BENCH is the program bench/vxi11.cpp builds, e.g. build/bench/vxi11.)
"""
import importlib.metadata
import json
import os
import subprocess
import sys
import time

# Starting and stopping vireon-serve as the outside checks do.
sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "outside"))
from lan_peers import served  # noqa: E402


def main():
    serve, bench = sys.argv[1], sys.argv[2]
    queries = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
    import pyvisa  # Debian's python3-pyvisa with python3-pyvisa-py

    with served(serve, "vxi11") as first:
        if "no portmapper" in first:
            sys.exit(f"vireon-serve vxi11 has no portmapper on 111: {first}")
        inst = pyvisa.ResourceManager("@py").open_resource("TCPIP0::127.0.0.1::inst0::INSTR")
        inst.timeout = 3000
        identity = inst.query("*IDN?")
        start = time.perf_counter()
        for _ in range(queries):
            inst.query("*IDN?")
        theirs_us = (time.perf_counter() - start) / queries * 1e6
        inst.close()
        run = subprocess.run([bench, "--benchmark_filter=BM_Vxi11ShortQuery",
                              "--benchmark_format=json"],
                             env={**os.environ, "VXI11_BENCH_HOST": "127.0.0.1"},
                             capture_output=True, text=True, timeout=120, check=True)
        result = json.loads(run.stdout)["benchmarks"][0]
        ours_us = result["real_time"]
        if result.get("time_unit") == "ns":
            ours_us /= 1000
        print(f"short query *IDN? ({identity.strip()}):")
        version = importlib.metadata.version("pyvisa-py")
        print(f"  pyvisa-py {version} (pyvisa {pyvisa.__version__}): {theirs_us:.1f} us")
        print(f"  ours: {ours_us:.1f} us")
        print(f"  ours is {theirs_us / ours_us:.1f} times as fast (target 5)")


if __name__ == "__main__":
    main()
