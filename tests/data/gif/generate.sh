#!/usr/bin/env bash
# Regenerates the GIF corpus of the GIF tests and benchmark with ImageMagick
# (Debian's imagemagick-6). The files are committed; run this only to change
# the corpus. Deterministic: plasma and noise use fixed seeds.
set -euo pipefail
cd "$(dirname "$0")"
IM=${CONVERT:-$(command -v convert-im6.q16 || command -v convert)}
im() { "$IM" -seed 7 "$@"; }
rm -f ./*.gif

# Colour depths 1..8 (global palette of 2^d entries), odd sizes.
d=1
for colors in 2 4 8 16 32 64 128 256; do
  im -size 37x23 plasma:red-blue -colors $colors -dither None depth$d-37x23.gif
  d=$((d + 1))
done
im -size 1x1 xc:red tiny-1x1.gif
im -size 1x97 gradient:black-white -colors 16 thin-1x97.gif
im -size 97x1 gradient:yellow-blue -colors 64 wide-97x1.gif
im -size 255x3 plasma:green-yellow -colors 200 odd-255x3.gif
im -size 3x5 plasma: -colors 5 odd-3x5.gif
im -size 468x60 plasma:navy-orange -colors 256 banner-468x60.gif
im -size 64x64 pattern:checkerboard -colors 2 checker-64.gif
im -size 50x40 xc:white -fill black -draw "circle 25,20 25,5" -colors 2 circle-2c.gif

# Interlaced.
im -size 61x47 plasma:white-purple -colors 128 -interlace GIF interlaced-61x47.gif
im -size 8x8 plasma: -colors 16 -interlace GIF interlaced-8x8.gif
im -size 5x3 plasma: -colors 4 -interlace GIF interlaced-5x3.gif
im -size 320x9 gradient:red-blue -colors 256 -interlace GIF interlaced-320x9.gif

# Transparency.
im -size 40x30 xc:none -fill red -draw "circle 20,15 20,3" -colors 8 transparent-circle.gif
im -size 33x21 plasma:red-blue -colors 32 -fuzz 20% -transparent red transparent-plasma.gif

# Animations: every disposal, loop counts, delays, frame offsets, local palettes.
frames() { # size n: fills the array F with n frames of growing size and offset
  local size=$1 n=$2 i
  F=()
  for i in $(seq 1 "$n"); do
    F+=(-page "$size+$((i * 3))+$((i * 2))" "(" -size "$((10 + i * 4))x$((8 + i * 3))"
        "plasma:hsl($((i * 40)),80%,50%)-hsl($((i * 40 + 90)),80%,30%)" -colors $((4 << (i % 6))) ")")
  done
}
for disp in None Background Previous Undefined; do
  frames 60x40 5
  im -delay 7 -dispose $disp "${F[@]}" -loop 0 anim-dispose-$disp.gif
done
frames 50x30 2
im -delay 0 -dispose None "${F[@]}" anim-noloop.gif
frames 50x30 3
# ImageMagick writes -loop N as N - 1 in the NETSCAPE2.0 block (and none for 1).
im -delay 20 "${F[@]}" -loop 4 anim-loop3.gif
frames 70x50 6
im -delay 5 "${F[@]}" -loop 1 +map anim-globalmap.gif
# Local palettes: each frame keeps its own colours.
im -delay 10 -size 30x20 plasma:red-blue -colors 16 \( -size 30x20 plasma:green-yellow -colors 64 \) \
   \( -size 30x20 gradient:black-white -colors 4 \) -loop 0 anim-localpal.gif
# Optimized transparency layers (transparent frames over earlier ones).
im -size 80x40 xc:white -fill blue -draw "rectangle 5,5 30,30" \
   \( -clone 0 -fill red -draw "rectangle 40,5 70,30" \) \
   \( -clone 1 -fill green -draw "circle 20,20 20,30" \) \
   -set delay 15 -loop 0 -layers OptimizeTransparency anim-opttrans.gif
im -size 60x60 xc:none -fill orange -draw "circle 30,30 30,5" \
   \( -size 60x60 xc:none -fill purple -draw "rectangle 10,10 50,50" \) \
   -set dispose Background -set delay 8 -loop 2 anim-transparent-bg.gif
# Interlaced animation with transparency.
im -size 40x40 xc:none -fill teal -draw "circle 20,20 20,4" \
   \( -size 40x40 xc:none -fill maroon -draw "rectangle 4,12 36,28" \) \
   \( -size 40x40 xc:none -fill gold -draw "ellipse 20,20 6,18 0,360" \) \
   -set dispose Previous -set delay 9 -interlace GIF -loop 0 anim-interlaced-trans.gif

# A GIF87a file: same bytes as a still GIF89a picture without extensions.
im -size 29x19 plasma:cyan-magenta -colors 32 +set comment v87a.gif
printf 'GIF87a' | dd of=v87a.gif bs=1 count=6 conv=notrunc status=none

# Benchmark pictures: a larger still photo-like picture and a longer banner animation.
im -size 400x300 plasma:fractal -blur 0x1 -colors 256 bench-plasma-400x300.gif
im -size 468x60 plasma:navy-gold -colors 128 \( +clone -roll +40+0 \) \( +clone -roll +40+0 \) \
   \( +clone -roll +40+0 \) \( +clone -roll +40+0 \) \( +clone -roll +40+0 \) \
   -set delay 10 -loop 0 bench-banner-468x60x6.gif
im -size 300x200 gradient:white-navy -colors 64 bench-gradient-300x200.gif
