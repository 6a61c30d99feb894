#!/usr/bin/env bash
# Starts the servers the tests talk to; each step does nothing when its server already runs.
set -euo pipefail
