#!/usr/bin/env bash
# Runs a command on a display of its own: a private X server (Xvfb) with a window manager (openbox), as a
# user's desktop has, so that windows are really mapped, framed, resized and maximised. Exits 77 (the
# tests' "skipped") when either program is missing.
set -uo pipefail

if ! command -v Xvfb >/dev/null || ! command -v openbox >/dev/null || ! command -v xdotool >/dev/null; then
  echo "Xvfb, openbox or xdotool missing: skipped" >&2
  exit 77
fi

work=$(mktemp -d)
cleanup() {
  [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null
  [ -n "${x_pid:-}" ] && kill "$x_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to the file descriptor given.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
x_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.05
done
exec 3>&-
if ! [ -s "$work/display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
export XDG_RUNTIME_DIR="$work"
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is up when it owns the screen's selection.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done

export QT_QPA_PLATFORM=xcb
"$@"
