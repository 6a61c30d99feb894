#!/usr/bin/python3
"""An alert program for tests: appends the CORVANE_* environment and the standard input it was
given as one JSON line to the file named by its first argument."""
import json
import os
import sys

record = {
    "arguments": sys.argv[2:],
    "environment": {k: v for k, v in os.environ.items() if k.startswith("CORVANE_")},
    "input": sys.stdin.read(),
}
with open(sys.argv[1], "a", encoding="utf-8") as log:
    log.write(json.dumps(record, ensure_ascii=False) + "\n")
