#!/usr/bin/env bash
# Installs what is missing, builds Reelwork and starts it. On first run it also
# makes a small sample DVD rip to open.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DREELWORK_TESTS=OFF -DREELWORK_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc)"

sample="${XDG_DATA_HOME:-$HOME/.local/share}/reelwork/sample"
if [ ! -e "$sample" ] && ./build/src/cli/reelwork-cli sample "$sample" >/dev/null 2>&1; then
  echo "A sample DVD rip to open is in $sample"
fi
exec ./build/src/reelwork "$@"
