#!/usr/bin/env bash
# Regenerates doc/zelk.png, the README's picture of zelk's coloured output.
#
# It builds zelk, dumps two small sample files with the default colours,
# turns the escapes into HTML with aha and photographs the page with headless
# Chromium. Installs aha, chromium and a monospace font from Debian's
# packages when they are missing. Run from anywhere: doc/screenshot.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

needed=()
command -v aha >/dev/null || needed+=(aha)
command -v chromium >/dev/null || needed+=(chromium)
[ -e /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf ] || needed+=(fonts-dejavu-core)
if ((${#needed[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${needed[@]}"
fi

cmake -B build >/dev/null
cmake --build build -j2 --target zelk >/dev/null
zelk=$root/build/zelk

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Two inputs that show every byte class: the head of a PNG file (high bytes,
# control bytes, zeros, then a run of zeros that collapses into "*") and a
# Windows-1252 note with printable text, tabs, DEL and a tail of 0xff.
mkdir "$work/files"
{
  printf '\211PNG\r\n\032\n\0\0\0\rIHDR\0\0\001\000\0\0\0\300\010\006\0\0\0'
  printf '\037\363\377a\0\0\0\001sRGB\0\256\316\034\351\0\0\0'
  head -c 52 /dev/zero
  printf '\0\0\0\0IEND\256B`\202'
} >"$work/files/image.png"
{
  printf 'Caf\351 cr\350me \200 4.50\r\n'
  printf '\223zelk\224 \205 hex dump\231\n'
  printf '\ttab\tDEL\177 \251 2026\n'
  printf '\377\377\377\377\0\0'
} >"$work/files/note.txt"

# What the picture shows: the command line as typed, then zelk's own output.
(
  cd "$work/files"
  printf '$ zelk image.png note.txt\n'
  "$zelk" image.png note.txt
) >"$work/dump.ansi"

# aha maps the 256-colour escapes (38;5;N) to their RGB values; the page puts
# its output on a terminal-like dark background in a monospace font.
columns=$(sed 's/\x1b\[[0-9;]*m//g' "$work/dump.ansi" | LC_ALL=C.UTF-8 wc -L)
lines=$(wc -l <"$work/dump.ansi")
{
  cat <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><style>
html, body { margin: 0; background: #000; }
pre { margin: 0; padding: 12px 16px; color: #fff; background: #000;
      font: 15px/20px "DejaVu Sans Mono", monospace; }
</style></head><body><pre>
HTML
  aha --black --no-header <"$work/dump.ansi"
  printf '</pre></body></html>\n'
} >"$work/dump.html"

# DejaVu Sans Mono is 0.602 em wide; the window fits the text and padding.
width=$(((columns * 903 + 99) / 100 + 32 + 8))
height=$((lines * 20 + 24))
profile=$work/profile
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$profile" --hide-scrollbars --force-device-scale-factor=2 \
  --window-size="$width,$height" --screenshot="$root/doc/zelk.png" \
  "file://$work/dump.html" 2>/dev/null
echo "wrote doc/zelk.png (${width}x${height} CSS pixels at scale 2)"
