#!/usr/bin/env bash
# Configures and builds the project into ./build. CI=true turns warnings into errors.
set -euo pipefail
cd "$(dirname "$0")/.."
werror=OFF
if [ "${CI:-}" = "true" ]; then werror=ON; fi
cmake -S . -B build -DQUORVANE_WERROR=$werror >/dev/null
cmake --build build -j"$(nproc)"
