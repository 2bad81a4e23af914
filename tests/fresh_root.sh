#!/usr/bin/env bash
# Proves the README on a fresh Debian: makes a minimal root of RELEASE with debootstrap, clones this
# repository into it and runs the README's two commands there as a new user would, printing each
# one's time and result. Run by hand, as root: it takes minutes and downloads a release.
#   tests/fresh_root.sh RELEASE [--reuse] [--commit REV] [--root DIR]
#     RELEASE       bookworm or trixie
#     --reuse       keep the root a former run left (its packages too) and only clone again
#     --commit REV  what to clone (default HEAD of the repository this script is in)
#     --root DIR    where the root lives (default $VELMORA_ROOTS/RELEASE, VELMORA_ROOTS defaulting
#                   to /var/tmp/velmora-roots); it is kept for the next --reuse
#   MIRROR=URL      the Debian mirror (default: the first one this machine's apt sources name)
# ./run.sh runs on the host's display (DISPLAY), or on a private Xvfb when there is none, and
# passes once its window is mapped; it is then closed. ./test.sh passes when it exits 0.
set -euo pipefail
release=${1:?usage: $0 bookworm|trixie [--reuse] [--commit REV] [--root DIR]} && shift
reuse=0 commit=HEAD root=${VELMORA_ROOTS:-/var/tmp/velmora-roots}/$release
while [ $# -gt 0 ]; do
  case $1 in
    --reuse) reuse=1 ;;
    --commit) commit=${2:?} && shift ;;
    --root) root=${2:?} && shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
root=$(realpath -m "$root")  # as /proc names it
[ "$(id -u)" -eq 0 ] || { echo "$0: run as root (debootstrap, mount and chroot need it)" >&2; exit 2; }
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
sha=$(git -C "$repo" rev-parse --verify "$commit^{commit}")
if [ -z "${MIRROR:-}" ]; then
  MIRROR=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
    2>/dev/null | grep -v -e '^#' -e security | grep -o -m1 'https\?://[^ ]*/debian/\?' || true)
fi
MIRROR=${MIRROR:?no Debian mirror in the apt sources: set MIRROR}

mounts=() session=$(mktemp -d /tmp/velmora-fresh-root.XXXXXX)
cleanup() {
  # Whatever the commands left running in the root (a sound server, a bus) holds its mounts.
  for proc in /proc/[0-9]*; do
    [ "$(readlink "$proc/root" 2>/dev/null)" = "$root" ] && kill "${proc#/proc/}" 2>/dev/null
  done
  kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; sleep 1
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[i]}" || umount -l "${mounts[i]}"; done
  rm -rf "$session"
}
trap cleanup EXIT
put() {  # put TYPE|--bind SOURCE TARGET: mounts into the root, unmounted on exit
  mkdir -p "$root$3"
  if [ "$1" = --bind ]; then mount --bind "$2" "$root$3"; else mount -t "$1" "$2" "$root$3"; fi
  mounts+=("$root$3")
}
elapsed() { local s=$((SECONDS - $1)); printf '%d min %02d s' $((s / 60)) $((s % 60)); }

start=$SECONDS
if [ $reuse -eq 1 ] && [ -x "$root/usr/bin/apt-get" ]; then
  echo "== reusing $root =="
else
  [ ! -e "$root" ] || { echo "$root exists: pass --reuse, or remove it for a fresh root" >&2; exit 2; }
  echo "== debootstrap --variant=minbase $release =="
  debootstrap --variant=minbase "$release" "$root" "$MIRROR" >"$session/debootstrap.log" 2>&1 ||
    { tail -20 "$session/debootstrap.log"; exit 1; }
  echo "debootstrap: $(elapsed $start), $(du -sm "$root" | cut -f1) MB"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"
put proc proc /proc; put sysfs sys /sys; put --bind /dev /dev; put --bind /dev/pts /dev/pts
put tmpfs shm /dev/shm; put tmpfs tmp /tmp

rm -rf "$root/src"
git clone -q --no-checkout "$repo" "$root/src" && git -C "$root/src" checkout -q "$sha"
echo "== $(git -C "$root/src" log -1 --format='%h %s' | cut -c1-90) =="
inside() { chroot "$root" env -i HOME=/root TERM=dumb LANG=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }

# ./run.sh: the host's display, or a private one. Its window mapped is the pass.
if [ -z "${DISPLAY:-}" ]; then
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$session/display" >"$session/xvfb.log" 2>&1 &
  for _ in $(seq 100); do [ -s "$session/display" ] && break; sleep 0.1; done
  export DISPLAY=:$(cat "$session/display")
fi
put --bind /tmp/.X11-unix /tmp/.X11-unix
[ -z "${XAUTHORITY:-}" ] || cp "$XAUTHORITY" "$root/root/.Xauthority"
started=$SECONDS
inside DISPLAY="$DISPLAY" XAUTHORITY=/root/.Xauthority bash -c 'cd /src && ./run.sh' >"$session/run.log" 2>&1 &
run=$! window=
apt_summary() { grep -h -e '^Need to get' -e '^After this operation' -e 'newly installed' "$@" || true; }
while kill -0 $run 2>/dev/null && [ $((SECONDS - started)) -lt 1800 ]; do
  window=$(xdotool search --onlyvisible --name '^Velmora$' 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 1
done
if [ -n "$window" ]; then
  apt_summary "$session/run.log"
  echo "./run.sh: window mapped after $(elapsed $started)"
  kill -TERM "$(xdotool getwindowpid "$window")" 2>/dev/null || true  # as its close button does
  timeout 10 tail --pid=$run -f /dev/null || kill $run
  run_result=0
else
  tail -30 "$session/run.log"
  echo "./run.sh: FAILED, no window after $(elapsed $started)"
  run_result=1
fi

started=$SECONDS && : >"$session/test.log"
(inside bash -c 'cd /src && ./test.sh' >"$session/test.log" 2>&1 && echo 0 || echo $?) >"$session/test.rc" &
tail -n +1 --pid=$! -f "$session/test.log" | grep --line-buffered -e '^== ' -e 'tests passed' \
  -e 'tests failed' -e 'Failed\|FAILED\|\*\*\*' -e '^E: ' -e '^Need to get' -e '^After this operation' \
  -e 'newly installed' || true
test_result=$(cat "$session/test.rc")
echo "./test.sh: exit $test_result after $(elapsed $started)"
[ $test_result -eq 0 ] || tail -40 "$session/test.log"
cp "$session/test.log" "$session/run.log" "$root/var/log/" 2>/dev/null || true
echo "== $release: ./run.sh $([ $run_result -eq 0 ] && echo passed || echo FAILED)," \
  "./test.sh exit $test_result, $(elapsed $start) in all; logs in $root/var/log/{run,test}.log =="
[ $run_result -eq 0 ] && [ $test_result -eq 0 ]
