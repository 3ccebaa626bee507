#!/usr/bin/env bash
# Makes a video with sound of the intro: intro-capture records the run's PNG
# frames and its soundtrack (WAV), ffmpeg (Debian's) encodes them together.
#   scripts/video.sh OUT.webm|OUT.mp4|OUT.mkv [intro-capture options]
#   scripts/video.sh out.webm --frames 3000 --keys 1500:space --fps 60
# The options are intro-capture's (--frames, --keys, --size, --fps, --from,
# --every, --data; see docs/recordings.md); --fps (default 50) is the video's
# rate, divided by --every. WebM is VP9 and Opus, MP4 H.264 and AAC. Uses the
# intro-capture of build/ (INTRO_CAPTURE names another) and the data/ folder.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ] || [ "${1#-}" != "$1" ]; then
  echo "usage: $0 OUT.webm|OUT.mp4|OUT.mkv [intro-capture options]" >&2
  exit 2
fi
out=$1
shift
capture=${INTRO_CAPTURE:-$here/build/bin/intro-capture}
command -v ffmpeg >/dev/null ||
  { echo "ffmpeg is missing: scripts/install-deps.sh test installs it" >&2; exit 1; }
[ -x "$capture" ] ||
  { echo "no $capture: build it first (cmake --build build --target intro-capture)" >&2; exit 1; }

fps=50 from=0 every=1 data=$here/data
args=("$@")
for ((i = 0; i < ${#args[@]}; ++i)); do
  case ${args[i]} in
    --fps) fps=${args[i + 1]:-} ;;
    --fps=*) fps=${args[i]#--fps=} ;;
    --from) from=${args[i + 1]:-} ;;
    --from=*) from=${args[i]#--from=} ;;
    --every) every=${args[i + 1]:-} ;;
    --every=*) every=${args[i]#--every=} ;;
    --data) data=${args[i + 1]:-} ;;
    --data=*) data=${args[i]#--data=} ;;
    --out* | --png | --wav* | --gif* | --cells)
      echo "$0: ${args[i]} is chosen by this script" >&2; exit 2 ;;
  esac
done
case $out in
  *.webm) codecs=(-c:v libvpx-vp9 -b:v 0 -crf 40 -row-mt 1 -c:a libopus -b:a 96k) ;;
  *.mp4) codecs=(-c:v libx264 -crf 23 -preset medium -c:a aac -b:a 128k -movflags +faststart) ;;
  *.mkv) codecs=(-c:v libx264 -crf 23 -preset medium -c:a flac) ;;
  *) echo "$0: the output must end in .webm, .mp4 or .mkv" >&2; exit 2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/intro-video.XXXXXX")
trap 'rm -rf "$work"' EXIT
# intro-capture checks every option; the frames and the sound land in work/.
(cd "$data" && "$capture" "$@" --png --out "$work/frames" --wav "$work/sound.wav")
# Frame k of the files stands for `every` presentations: the video's rate is
# fps / every, and its first frame is presentation `from`.
ffmpeg -hide_banner -loglevel error -y \
  -framerate "$fps/$every" -start_number "$from" -i "$work/frames/frame-%06d.png" \
  -i "$work/sound.wav" -map 0:v -map 1:a -pix_fmt yuv420p "${codecs[@]}" \
  "$out"
echo "video.sh: $out: $(stat -c %s "$out") bytes"
