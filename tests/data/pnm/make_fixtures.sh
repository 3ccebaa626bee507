#!/bin/sh
# Regenerates the PNM reader fixtures in this folder with the netpbm tools.
# Each picture below is converted by netpbm into its plain and raw form; the
# *_comments files are the same bytes with a comment line between every two
# header tokens. The tests hold the expected pixels, so regenerate only on
# purpose and review the diff.
set -eu
cd "$(dirname "$0")"

# picture NAME EXT: netpbm's plain and raw forms of the text on stdin.
picture() {
  cat > "$1.src"
  pnmtoplainpnm "$1.src" > "$1_plain.$2"
  pamtopnm "$1.src" > "$1_raw.$2"
  rm "$1.src"
}

# spaced IN OUT: a plain bitmap from netpbm, whose raster digits come
# unseparated, with a space after every raster digit. The file reader takes a
# run of digits for one value, so it needs them separated.
spaced() {
  { head -n 2 "$1"; tail -n +3 "$1" | sed 's/[01]/& /g'; } > "$2"
}

# commented IN OUT: IN with a comment before every header token after the
# magic. netpbm writes the magic, "width height" and (except for bitmaps) the
# maxval on lines of their own; the comments hold digits, "P" and "#" so that
# a reader that looks into them goes wrong.
commented() {
  magic=$(head -c 2 "$1")
  case "$magic" in
    P1|P4) lines=2 ;;
    *) lines=3 ;;
  esac
  size=$(sed -n 2p "$1")
  {
    printf '%s\n# 99 P6 # width follows\n%s\n#1 2 3\n%s\n' \
      "$magic" "${size% *}" "${size#* }"
    if [ "$lines" = 3 ]; then
      printf '# maxval 7\n%s\n' "$(sed -n 3p "$1")"
    fi
    tail -c +$(($(head -n "$lines" "$1" | wc -c) + 1)) "$1"
  } > "$2"
}

# 5 x 3 colour; the last sample has one digit.
picture colour ppm <<'PIC'
P3
5 3
255
255 0 0    0 255 0    0 0 255    255 255 255  0 0 0
1 2 3      10 20 30   128 64 32  200 100 50   7 8 9
254 253 252  0 0 1    0 1 0      1 0 0        17 34 5
PIC

# 5 x 3 grey, maxval 255.
picture grey pgm <<'PIC'
P2
5 3
255
0 1 2 127 128
200 254 255 10 20
30 40 50 60 7
PIC

# 3 x 2 grey with maxval 15: samples are taken as they are, not scaled.
picture grey15 pgm <<'PIC'
P2
3 2
15
0 15 7
1 2 3
PIC

# Bitmaps: 13 wide (two bytes a row, 3 fill bits), 7 wide (one byte, 1 fill
# bit) and 16 wide (no fill).
picture bits13 pbm <<'PIC'
P1
13 3
1010101010101
0000000000001
0111111111110
PIC

picture bits7 pbm <<'PIC'
P1
7 2
1011001
0100111
PIC

picture bits16 pbm <<'PIC'
P1
16 2
1000000000000001
0101010101010101
PIC

for f in bits13 bits7 bits16; do
  spaced "${f}_plain.pbm" "${f}_spaced.pbm"
done

for f in colour_plain.ppm colour_raw.ppm grey_plain.pgm grey_raw.pgm \
         bits13_spaced.pbm bits13_raw.pbm; do
  commented "$f" "${f%.*}_comments.${f##*.}"
done
