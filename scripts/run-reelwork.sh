#!/usr/bin/env bash
# Installs what is missing, builds Reelwork and starts it. On the first run it
# also makes a small sample DVD rip and opens Reelwork on its project.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/build-env.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DREELWORK_TESTS=OFF -DREELWORK_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build build -j"$(nproc)"

data="${XDG_DATA_HOME:-}"
[[ "$data" == /* ]] || data="$HOME/.local/share"
sample="$data/reelwork/sample"
if [ $# -eq 0 ] && [ ! -e "$sample/VTS_01_1.d2v" ]; then
  echo "Making a sample DVD rip in $sample"
  if ./build/src/cli/reelwork-cli sample "$sample" >/dev/null; then
    exec ./build/src/reelwork "$sample/VTS_01_1.d2v"
  fi
  echo "The sample could not be made; starting Reelwork without it." >&2
fi
exec ./build/src/reelwork "$@"
