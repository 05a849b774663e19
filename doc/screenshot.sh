#!/usr/bin/env bash
# Regenerates the README's pictures of zelk's coloured output: doc/zelk.png
# with the default colours on a dark background, and doc/zelk-light.png with
# the light-background ZELK_COLORS preset on a white one.
#
# It builds zelk, dumps two small sample files, turns the escapes into HTML
# with aha and photographs each page with headless Chromium. Installs aha,
# chromium and a monospace font from Debian's packages when they are missing.
# Run from anywhere: doc/screenshot.sh
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

# The README's preset for light backgrounds: grey zeros, dark green control
# bytes, purple high bytes, red 0xff; each at least 4.5:1 against white.
light_preset='zero=38;5;243 low=38;5;28 high=38;5;91 all=38;5;160'

# shoot NAME dark|light [VARIABLE]: photographs `zelk image.png note.txt`,
# run with ZELK_COLORS set to VARIABLE when given, as doc/NAME on a
# terminal-like page with a black or a white background.
shoot() {
  local name=$1 scheme=$2 variable=${3-}
  local fg='#fff' bg='#000' aha_options=(--black --no-header)
  if [ "$scheme" = light ]; then
    fg='#000' bg='#fff' aha_options=(--no-header)
  fi
  local ansi=$work/${name%.png}.ansi html=$work/${name%.png}.html
  # What the picture shows: the command lines as typed, then zelk's output.
  (
    cd "$work/files"
    if [ -n "$variable" ]; then
      printf "\$ export ZELK_COLORS='%s'\n" "$variable"
      export ZELK_COLORS=$variable
    fi
    printf '$ zelk image.png note.txt\n'
    "$zelk" image.png note.txt
  ) >"$ansi"

  # aha maps the 256-colour escapes (38;5;N) to their RGB values; the page
  # sets its own colours and a monospace font around aha's spans.
  local columns lines width height
  columns=$(sed 's/\x1b\[[0-9;]*m//g' "$ansi" | LC_ALL=C.UTF-8 wc -L)
  lines=$(wc -l <"$ansi")
  {
    cat <<HTML
<!DOCTYPE html>
<html><head><meta charset="utf-8"><style>
html, body { margin: 0; background: $bg; }
pre { margin: 0; padding: 12px 16px; color: $fg; background: $bg;
      font: 15px/20px "DejaVu Sans Mono", monospace; }
</style></head><body><pre>
HTML
    aha "${aha_options[@]}" <"$ansi"
    printf '</pre></body></html>\n'
  } >"$html"

  # DejaVu Sans Mono is 0.602 em wide; the window fits the text and padding.
  width=$(((columns * 903 + 99) / 100 + 32 + 8))
  height=$((lines * 20 + 24))
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile-${name%.png}" --hide-scrollbars --force-device-scale-factor=2 \
    --window-size="$width,$height" --screenshot="$root/doc/$name" \
    "file://$html" 2>/dev/null
  echo "wrote doc/$name (${width}x${height} CSS pixels at scale 2)"
}

shoot zelk.png dark
shoot zelk-light.png light "$light_preset"
