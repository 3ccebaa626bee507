#!/usr/bin/env bash
# Tries the project as a new user would on a fresh Debian release: makes a
# minimal root with debootstrap in a scratch folder, clones this repository's
# committed HEAD into it, runs ./run.sh (no display: it records) and ./test.sh
# there, prints how each ended and removes the root again.
#
#   sudo scripts/check-debian.sh bookworm|trixie
#
# Run on demand, not in CI: it downloads a few hundred megabytes and takes
# from half an hour upwards. Needs root and debootstrap.
#   SCRATCH=DIR  where the root and the logs go (default: a new /var/tmp folder)
#   MIRROR=URL   Debian mirror (default: debootstrap's own)
#   KEEP=1       leave the root in place afterwards (the mounts are always undone)
set -euo pipefail

suite=${1:-}
case "$suite" in
  bookworm | trixie) ;;
  *) echo "usage: $0 bookworm|trixie" >&2; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root (debootstrap, chroot, mounts)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "$0: needs debootstrap (apt-get install debootstrap)" >&2; exit 2; }

here=$(cd "$(dirname "$0")/.." && pwd)
rev=$(git -C "$here" rev-parse HEAD)
scratch=${SCRATCH:-$(mktemp -d "/var/tmp/check-debian-$suite.XXXXXX")}
root=$scratch/root
logs=$scratch/logs
mkdir -p "$root" "$logs"

mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -l "${mounted[i]}" 2>/dev/null || true
  done
  if [ "${KEEP:-0}" != 1 ] && [ -d "$root" ]; then
    # Only once nothing is mounted under it any more.
    if ! grep -q " $root/" /proc/mounts; then rm -rf "$root"; fi
  fi
}
trap cleanup EXIT

echo "== $suite: debootstrap into $root (log: $logs/debootstrap.log)"
debootstrap --variant=minbase --include=git,ca-certificates "$suite" "$root" \
  ${MIRROR:+"$MIRROR"} >"$logs/debootstrap.log" 2>&1 ||
  { tail -20 "$logs/debootstrap.log"; exit 1; }

for m in proc sys dev dev/pts; do
  mkdir -p "$root/$m"
  case $m in
    proc) mount -t proc proc "$root/proc" ;;
    sys) mount -t sysfs sys "$root/sys" ;;
    dev) mount --bind /dev "$root/dev" ;;
    dev/pts) mount -t devpts devpts "$root/dev/pts" ;;
  esac
  mounted+=("$root/$m")
done
cp /etc/resolv.conf "$root/etc/resolv.conf"
# Certificate authorities the host trusts beyond Debian's own (a proxy that
# inspects TLS, say) go along, so the root reaches the package registries as
# the host does; node is told to use the system's list too.
extra_ca=
if compgen -G "/usr/local/share/ca-certificates/*.crt" >/dev/null; then
  cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/"
  chroot "$root" update-ca-certificates >/dev/null 2>&1 || true
  extra_ca=NODE_EXTRA_CA_CERTS=/etc/ssl/certs/ca-certificates.crt
fi

echo "== $suite: cloning $rev"
git clone -q "$here" "$root/root/tandrix"
git -C "$root/root/tandrix" checkout -q --detach "$rev"

# A fresh login environment: no display, the project's own commands only.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM=dumb $extra_ca bash -c "cd /root/tandrix && $1"
}

status() { if [ "$1" -eq 0 ]; then echo passed; else echo "FAILED (exit $1)"; fi; }

echo "== $suite: ./run.sh (log: $logs/run.log)"
set +e
in_root ./run.sh >"$logs/run.log" 2>&1
run_rc=$?
recorded=$(cd "$root/root/tandrix" && ls capture 2>/dev/null | sed 's|^|capture/|' | tr '\n' ' ')
echo "== $suite: ./test.sh (log: $logs/test.log)"
in_root ./test.sh >"$logs/test.log" 2>&1
test_rc=$?
set -e

echo
echo "== $suite ($(chroot "$root" dpkg-query -W -f='${Version}' libsdl1.2-dev 2>/dev/null |
  sed 's/^/libsdl1.2-dev /'), g++ $(chroot "$root" g++ -dumpfullversion 2>/dev/null || echo '?'))"
echo "./run.sh:  $(status $run_rc), recorded: ${recorded:-nothing}"
echo "./test.sh: $(status $test_rc)"
grep -E '^(== |[0-9]+% tests passed|The following tests|.*warning:|.*error:|.*\*\*\*Failed)' \
  "$logs/test.log" | sed 's/^/  /' | head -60
echo "logs: $logs"
[ $run_rc -eq 0 ] && [ $test_rc -eq 0 ]
