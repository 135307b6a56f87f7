#!/usr/bin/env bash
# Makes the pictures of the program's windows in docs/ afresh: the
# end-to-end run takes them from the real program in a real X server.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
exec tests/e2e/e2e.sh --program build/src/app/utilities --dbtool build/utilities-db \
    --calendar build/tests/e2e-calendar --source . --pictures docs
