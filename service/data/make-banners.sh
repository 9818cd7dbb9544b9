#!/usr/bin/env bash
# Generates the reference service's advert banners: animated GIFs of
# 468 x 60 pixels (the client's banner area) with a few frames each.
# Needs ImageMagick's convert and the DejaVu fonts (Debian: imagemagick,
# fonts-dejavu-core). The output is committed; run this again only to change
# the artwork:  service/data/make-banners.sh
set -euo pipefail
out="$(cd "$(dirname "$0")" && pwd)/banners"
mkdir -p "$out"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
bold=DejaVu-Sans-Bold
plain=DejaVu-Sans

# frame NAME BG1 BG2 — a 468x60 gradient with a border and the brevaro mark.
base() {
  convert -size 468x60 "gradient:$2-$3" \
    -fill none -stroke '#ffffff' -strokewidth 1 -draw 'rectangle 0,0 467,59' \
    -stroke none -fill '#ffffff' -draw 'roundrectangle 8,12 64,48 6,6' \
    -font "$bold" -pointsize 12 -fill "$2" -annotate +11+35 'brevaro' \
    "$tmp/$1.png"
}

# Banner 1: accounts, text appears in three steps, then a call to action.
base acc '#1f4e79' '#3b7dbf'
convert "$tmp/acc.png" -font "$bold" -pointsize 20 -fill white -annotate +80+37 'All your accounts.' "$tmp/acc1.png"
convert "$tmp/acc1.png" -font "$bold" -pointsize 20 -fill '#ffd54a' -annotate +292+37 'One screen.' "$tmp/acc2.png"
convert "$tmp/acc.png" -font "$plain" -pointsize 14 -fill white \
  -annotate +80+27 'Banks, brokers, cards, insurers, utilities' \
  -font "$bold" -pointsize 12 -fill '#ffd54a' -annotate +80+47 'behind one password' "$tmp/acc3.png"
convert "$tmp/acc.png" -fill '#ffd54a' -draw 'roundrectangle 300,14 456,46 8,8' \
  -font "$bold" -pointsize 15 -fill '#1f4e79' -annotate +318+36 'Sign up free >' \
  -font "$bold" -pointsize 18 -fill white -annotate +80+37 'Try brevaro' "$tmp/acc4.png"
convert -delay 120 "$tmp/acc1.png" -delay 120 "$tmp/acc2.png" -delay 150 "$tmp/acc3.png" \
  -delay 180 "$tmp/acc4.png" -loop 0 -colors 64 -layers Optimize "$out/brevaro-accounts.gif"

# Banner 2: security, a padlock that closes.
base sec '#1d5e3a' '#3f9b62'
lock() {  # lock FILE SHACKLE_Y
  convert "$tmp/sec.png" -fill none -stroke '#ffd54a' -strokewidth 4 \
    -draw "arc 84,$2 106,$(( $2 + 24 )) 180,360" -draw "line 84,$(( $2 + 12 )) 84,30" \
    -draw "line 106,$(( $2 + 12 )) 106,30" -stroke none -fill '#ffd54a' \
    -draw 'roundrectangle 78,28 112,52 4,4' -fill '#1d5e3a' -draw 'circle 95,39 95,43' "$1"
}
lock "$tmp/sec1.png" 4
lock "$tmp/sec2.png" 10
convert "$tmp/sec1.png" -font "$bold" -pointsize 18 -fill white -annotate +128+30 'Your money matters.' \
  -font "$plain" -pointsize 13 -annotate +128+49 'So does keeping it private.' "$tmp/secA.png"
convert "$tmp/sec2.png" -font "$bold" -pointsize 18 -fill white -annotate +128+30 'Bank-grade security' \
  -font "$plain" -pointsize 13 -fill '#ffd54a' -annotate +128+49 '128-bit encryption on every page' "$tmp/secB.png"
convert "$tmp/sec2.png" -font "$bold" -pointsize 18 -fill white -annotate +128+30 'brevaro keeps watch' \
  -font "$plain" -pointsize 13 -fill white -annotate +128+49 'Automatic sign-out when you step away' "$tmp/secC.png"
convert -delay 100 "$tmp/secA.png" -delay 150 "$tmp/secB.png" -delay 150 "$tmp/secC.png" \
  -loop 0 -colors 64 -layers Optimize "$out/brevaro-secure.gif"

# Banner 3: a sliding offer strip.
base off '#7a2e0e' '#c8562a'
for i in 0 1 2 3 4; do
  x=$(( 470 - i * 97 ))
  convert "$tmp/off.png" -font "$bold" -pointsize 19 -fill white -annotate "+$x+38" 'Bills due? brevaro reminds you.' \
    -fill '#c8562a' -draw 'rectangle 0,1 72,58' -fill '#ffffff' -draw 'roundrectangle 8,12 64,48 6,6' \
    -font "$bold" -pointsize 12 -fill '#7a2e0e' -annotate +11+35 'brevaro' "$tmp/off$i.png"
done
convert -delay 15 "$tmp/off0.png" "$tmp/off1.png" "$tmp/off2.png" "$tmp/off3.png" -delay 250 "$tmp/off4.png" \
  -loop 0 -colors 64 -layers Optimize "$out/brevaro-reminders.gif"

ls -l "$out"

# Banner 4: a movie banner, 468x60 stage (the artwork tool's movie format):
# a gold block crossing the brand's deep blue in 24 frames at 12 frames a
# second, a white bar blinking every 6 frames, looping.
python3 - "$out/brevaro-movie.swf" <<'PY'
import os, sys
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(sys.argv[1])), "..", "..", "..", "tools", "artwork"))
import formats, swf
T = 20
tags = [formats.swf_tag(9, bytes((0x1f, 0x4e, 0x79)))]
block = swf.Path().rounded_rect(0, 0, 60 * T, 40 * T, 6 * T, fill=1)
tags.append(swf.define_shape3(1, [swf.solid((0xe8, 0xb0, 0x2a, 255))], [], block))
bar = swf.Path().rounded_rect(0, 0, 200 * T, 8 * T, 2 * T, fill=1)
tags.append(swf.define_shape3(2, [swf.solid((255, 255, 255, 255))], [], bar))
tags += [swf.place(1, 1, dict(tx=0, ty=10 * T)), swf.place(2, 2, dict(tx=240 * T, ty=46 * T))]
for f in range(24):
    if f > 0:
        tags.append(swf.place(1, matrix=dict(tx=(f * 17) * T, ty=10 * T), move=True))
        if f % 6 == 0:
            tags.append(swf.remove(2) if (f // 6) % 2 else swf.place(2, 2, dict(tx=240 * T, ty=46 * T)))
    tags.append(formats.swf_tag(1))
tags.append(formats.swf_tag(0))
fws, _ = formats.swf_movie(6, 468, 60, 12, tags, 24)
open(sys.argv[1], "wb").write(fws)
PY