#!/bin/bash
# Frames the engine shows of damaged copies of a VOB, beside what FFmpeg and
# libmpeg2 decode of the same copies. Run by hand:
#   bench/damage_counts.sh CLI VOB [PLACES]
# CLI is a built reelwork-cli, VOB an undamaged title (make one with
# `reelwork-cli sample DIR`, or with mpeg2enc and mplex). Each copy gets one
# kind of damage (a sector of zeros, 256 KiB of zeros, 37 bytes taken out,
# 3000 random bytes) at PLACES places spread over the file (default 9), then
# the last 1000 bytes are cut off one copy. A line per copy, then the range
# of differences (engine minus the other decoder) for each kind.
set -euo pipefail
cli=$(realpath "$1") src=$(realpath "$2") places=${3:-9}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
size=$(stat -c %s "$src")

engine() {
  printf 'DVD2AVIProjectFile\n1\n%d %s\n\nStream_Type=1\nFrame_Rate=25000\nField_Operation=0\n' "${#1}" "$1" >"$work/p.d2v"
  printf 'MPEG2Source("%s")\n' "$work/p.d2v" >"$work/p.avs"
  rm -rf "$work/cache"
  XDG_CACHE_HOME=$work/cache "$cli" info "$work/p.avs" | sed -n '1s/.*frames=\([0-9]*\).*/\1/p'
}
ffmpeg_count() { ffmpeg -v quiet -i "$1" -map 0:v -f framemd5 - | grep -vc '^#'; }
libmpeg2_count() {
  rm -rf "$work/pgm" && mkdir "$work/pgm"
  (cd "$work/pgm" && mpeg2dec -o pgm "$1" >/dev/null 2>&1 || true)
  find "$work/pgm" -name '*.pgm' | wc -l
}

damage() { # kind fraction out
  python3 - "$src" "$3" "$1" "$2" <<'PY'
import random, sys
src, dst, kind, at = sys.argv[1], sys.argv[2], sys.argv[3], float(sys.argv[4])
b = bytearray(open(src, 'rb').read())
s = int(len(b) * at) // 2048 * 2048
if kind == 'sector': b[s:s + 2048] = bytes(2048)
elif kind == 'zeros256k': b[s:s + 262144] = bytes(len(b[s:s + 262144]))
elif kind == 'slip': del b[s + 700:s + 737]
elif kind == 'garbage':
    r = random.Random(s)
    b[s + 100:s + 3100] = bytes(r.getrandbits(8) for _ in range(3000))
elif kind == 'cut': del b[-1000:]
open(dst, 'wb').write(b)
PY
}

echo "whole: engine $(engine "$src"), ffmpeg $(ffmpeg_count "$src"), libmpeg2 $(libmpeg2_count "$src")"
results=$work/results
for kind in sector zeros256k slip garbage cut; do
  n=$places
  [ "$kind" = cut ] && n=1
  for ((k = 0; k < n; ++k)); do
    at=$(python3 -c "print(($k + 0.5) / $n * (0.8 if '$kind' == 'zeros256k' else 1))")
    damage "$kind" "$at" "$work/d.VOB"
    e=$(engine "$work/d.VOB") f=$(ffmpeg_count "$work/d.VOB") m=$(libmpeg2_count "$work/d.VOB")
    echo "$kind at $at: engine $e, ffmpeg $f, libmpeg2 $m"
    echo "$kind $((e - f)) $((e - m))" >>"$results"
  done
done
echo "engine minus ffmpeg, engine minus libmpeg2 (min..max):"
awk '{ if (!($1 in lo)) { lo[$1] = hi[$1] = $2; lo2[$1] = hi2[$1] = $3 }
       if ($2 < lo[$1]) lo[$1] = $2; if ($2 > hi[$1]) hi[$1] = $2
       if ($3 < lo2[$1]) lo2[$1] = $3; if ($3 > hi2[$1]) hi2[$1] = $3 }
     END { for (k in lo) printf "  %-10s %d..%d   %d..%d\n", k, lo[k], hi[k], lo2[k], hi2[k] }' "$results"
