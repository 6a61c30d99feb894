#!/usr/bin/env bash
# Installs what the project needs, starts the test servers, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/check-style.sh
bash scripts/start-services.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
ctest --test-dir build --output-on-failure --timeout 600 -j2
bash scripts/fuzz.sh 20
