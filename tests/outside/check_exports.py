#!/usr/bin/env python3
"""Reads the console's exports with programs we did not write: Python's csv
module in strict mode, pandas (dates parsed), json, and gnuplot drawing the
CSV. Exits 77 (skipped) naming what is missing when pandas or gnuplot is not
installed (scripts/install-deps.sh outside installs them), or fails then when
VIREON_REQUIRE_OUTSIDE is set, as in CI."""
import csv
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

MISSING = 1 if os.environ.get("VIREON_REQUIRE_OUTSIDE") else 77

try:
    import pandas as pd
except ImportError:
    print("skipped: python3-pandas is not installed (scripts/install-deps.sh outside)")
    sys.exit(MISSING)
if shutil.which("gnuplot") is None:
    print("skipped: gnuplot is not installed (scripts/install-deps.sh outside)")
    sys.exit(MISSING)

folder = Path(sys.argv[1])
expected_rows = 5
header = ["time", "address", "sent", "answer", "duration_ms", "bytes", "verdict"]

# RFC 4180 as Python reads it, strictly: every quote where it must be.
with open(folder / "History.csv", newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f, strict=True))
assert rows[0] == header, rows[0]
assert len(rows) == expected_rows + 1, len(rows)
assert all(len(r) == len(header) for r in rows), rows
assert rows[2][3] == '1.25E+00,"2"\\r\\n', rows[2][3]
assert rows[2][6] == 'ESR 32 CME; -113,"Undefined header"', rows[2][6]
assert rows[4][3] == "block, 20000 bytes", rows[4][3]
assert rows[5][2] == 'from file /tmp/données, "a".dat', rows[5][2]

frame = pd.read_csv(folder / "History.csv", parse_dates=["time"])
assert len(frame) == expected_rows
assert str(frame["time"].dtype).startswith("datetime64"), frame["time"].dtype
assert frame["time"].iloc[0].isoformat().startswith("2026-12-07T02:25:01.123"), frame["time"].iloc[0]
assert list(frame["address"]) == [22, 5, 9, 22, 5]

# Each line of the history file and of the export is one JSON object whose
# texts give back every byte (byte b as U+00bb).
for name in ("History.jsonl", "Export.jsonl"):
    lines = (folder / name).read_text(encoding="utf-8").splitlines()
    records = [json.loads(line) for line in lines]
    assert len(records) == expected_rows, (name, len(records))
    assert bytes(ord(c) for c in records[2]["sent"]) == bytes(range(256))
    assert records[4]["file"] == '/tmp/données, "a".dat'
    lines_frame = pd.read_json(folder / name, lines=True)
    assert len(lines_frame) == expected_rows

# A run's log: one row per number, an empty value where the read failed.
with open(folder / "Run.csv", newline="", encoding="utf-8") as f:
    log = list(csv.reader(f, strict=True))
assert log[0] == ["utc_time", "elapsed_s", "device", "message", "value", "verdict"], log[0]
assert len(log) == 6 and all(len(r) == 6 for r in log), log
assert log[3][4] == "" and log[3][5] == "no answer", log[3]
assert log[4][3] == 'MEAS:VOLT? "DC",10', log[4]
run = pd.read_csv(folder / "Run.csv", parse_dates=["utc_time"])
assert str(run["utc_time"].dtype).startswith("datetime64"), run["utc_time"].dtype
assert run["value"].isna().tolist() == [False, False, True, False, False]
assert abs(run["value"].iloc[4] - 1.254) < 1e-12

plot = folder / "durations.svg"
script = f"""
set terminal svg
set output '{plot}'
set datafile separator ','
set xdata time
set timefmt '%Y-%m-%dT%H:%M:%S'
plot '{folder / "History.csv"}' using 1:5 skip 1 with linespoints title 'duration (ms)', \\
     '{folder / "Run.csv"}' using 1:5 skip 1 with points title 'value'
"""
subprocess.run(["gnuplot"], input=script, text=True, check=True)
assert plot.stat().st_size > 0
print("exports read back by csv (strict), pandas, json and gnuplot")
