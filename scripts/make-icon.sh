#!/bin/bash
# Draws the program's icon (app/Mojian.ico): a white ink drop on the skin's
# light blue, with 墨 inside the drop where there is room for it. Run it again
# only when the drawing changes; the icon itself is kept in the repository.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
FONT=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

drop_path() {  # size: an SVG path of the drop, its round part low in the square
    python3 - "$1" <<'PY'
import math, sys
s = float(sys.argv[1])
cx, cy, r, top = s / 2, s * 0.60, s * 0.27, s * 0.13
a = math.asin(r / (cy - top))
x, y = r * math.cos(a), cy - r * math.sin(a)
print(f"path 'M {cx:.2f},{top:.2f} L {cx + x:.2f},{y:.2f} A {r:.2f},{r:.2f} 0 1,1 {cx - x:.2f},{y:.2f} Z'")
PY
}

for s in 16 24 32 48 256; do
    r=$((s * 22 / 100)); [ "$r" -lt 3 ] && r=3
    glyph=()
    [ "$s" -ge 48 ] && glyph=(-font "$FONT" -fill '#1b7fc5' -gravity center
                              -pointsize $((s * 30 / 100)) -annotate +0+$((s * 10 / 100)) '墨')
    convert -size "${s}x${s}" xc:none \
        \( -size "${s}x${s}" gradient:'#7cc0ec-#1b8fd5' \) \
        \( -size "${s}x${s}" xc:none -fill white -draw "roundrectangle 0,0 $((s - 1)),$((s - 1)) $r,$r" \) \
        -delete 0 -compose DstIn -composite -compose over \
        -fill white -draw "$(drop_path "$s")" "${glyph[@]}" \
        -define png:exclude-chunks=date,time PNG32:"$work/$s.png"
done
convert "$work/16.png" "$work/24.png" "$work/32.png" "$work/48.png" "$work/256.png" "$ROOT/app/Mojian.ico"
echo "wrote app/Mojian.ico"
