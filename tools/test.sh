#!/usr/bin/env bash
# Sets everything up (tools/setup.sh) and runs the whole test suite without a display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
ctest --test-dir build --output-on-failure -j2
