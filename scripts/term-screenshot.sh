#!/usr/bin/env bash
# Makes docs/term.png: intro-term in a detached 80x60 tmux pane, stopped at
# presentation 260 (the running man) and 700 (scene 2), the pane's text as
# capture-pane gives it, drawn side by side with ImageMagick in the ink colour
# the pane shows (256-colour entry 151). Needs a built tree in build/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/intro-term-shot.XXXXXX)
T() { tmux -S "$work/tmux" -f /dev/null "$@"; }
trap 'T kill-server 2>/dev/null; rm -rf "$work"' EXIT
for n in 260 700; do
  T new-session -d -s "s$n" -x 80 -y 60 -c "$here/data" \
    "TERM=tmux-256color $here/build/bin/intro-term --fps 0 --stop-at $n; sleep 60"
done
sleep 3
for n in 260 700; do
  # % and \ are ImageMagick's escapes in -annotate text.
  text=$(T capture-pane -p -t "s$n" | sed 's/\\/\\\\/g; s/%/%%/g')
  convert -size 592x868 xc:black -font DejaVu-Sans-Mono -pointsize 12 \
    -fill '#afd7af' -annotate +6+14 "$text" "$work/$n.png"
done
convert "$work/260.png" "$work/700.png" -bordercolor '#404040' -border 2 +append \
  "$here/docs/term.png"
echo "wrote $here/docs/term.png"
