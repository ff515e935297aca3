#!/usr/bin/env bash
# A seeded run of random user actions against the real window program on a real display (run it under
# with-display.sh): clicks and double clicks at random points, the wheel, keys, rectangles dragged,
# resizes, maximising through the title bar, and Escape for whatever dialog opens. The program must
# never crash; when it closes itself (its "Выход"), it is started again.
#
#   random-actions.sh PROGRAM SAMPLES_DIR [ACTIONS] [SEED]
set -u
program=$1
samples=$2
actions=${3:-2000}
seed=${4:-20261206}
RANDOM=$seed

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cp "$samples"/* "$work"/
cd "$work" || exit 1
export HOME=$work
log=$work/actions.log
pid=0
wid=0
starts=0

start() {
  "$program" "$work/sample.frq" >>"$work/app.log" 2>&1 &
  pid=$!
  starts=$((starts + 1))
  wid=""
  for _ in $(seq 200); do
    wid=$(xdotool search --onlyvisible --pid "$pid" --name "Расчет" 2>/dev/null | head -n1)
    [ -n "$wid" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ -z "$wid" ]; then
    echo "the program did not show its window (start $starts)" >&2
    cat "$work/app.log" >&2
    exit 1
  fi
}

# Whether the program still runs; a crash fails the test with what led to it, a normal exit restarts it.
alive() {
  kill -0 "$pid" 2>/dev/null && return 0
  wait "$pid"
  local rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "the program ended with status $rc after action $1 (seed $seed); the last actions:" >&2
    tail -n 25 "$log" >&2
    cat "$work/app.log" >&2
    exit 1
  fi
  echo "exit 0 after action $1: started again" >>"$log"
  start
  stale=1
  return 1
}

geometry() {
  eval "$(xdotool getwindowgeometry --shell "$wid" 2>/dev/null)" || return 1
  wx=$X wy=$Y ww=$WIDTH wh=$HEIGHT
}

keys=(Tab Return Escape BackSpace Delete Up Down Left Right space minus period comma 0 1 2 5 9 a x
      ctrl+a shift+Tab F1 Home End Page_Up Page_Down)

start
stale=1
for ((i = 1; i <= actions; i++)); do
  # The window's place is read again only when it may have changed: xdotool calls are the slow part.
  if [ "$stale" -ne 0 ] || [ $((i % 25)) -eq 0 ]; then
    geometry || { alive "$i"; continue; }
    stale=0
  fi
  # A dialog or menu of the program is open: act in it now and then, else close it with Escape.
  windows=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l)
  if [ "$windows" -gt 1 ] && [ $((RANDOM % 3)) -ne 0 ]; then
    echo "$i Escape (windows: $windows)" >>"$log"
    xdotool key Escape
    sleep 0.05
    alive "$i"
    continue
  fi
  x=$((wx + RANDOM % (ww > 0 ? ww : 1)))
  y=$((wy + RANDOM % (wh > 0 ? wh : 1)))
  r=$((RANDOM % 100))
  if [ $r -lt 45 ]; then
    echo "$i click $x $y" >>"$log"
    xdotool mousemove "$x" "$y" click 1
  elif [ $r -lt 52 ]; then
    echo "$i double click $x $y" >>"$log"
    xdotool mousemove "$x" "$y" click --repeat 2 --delay 60 1
  elif [ $r -lt 55 ]; then
    echo "$i right double click $x $y" >>"$log"
    xdotool mousemove "$x" "$y" click --repeat 2 --delay 60 3
  elif [ $r -lt 70 ]; then
    button=$((4 + RANDOM % 2))
    n=$((1 + RANDOM % 3))
    echo "$i wheel $button x$n $x $y" >>"$log"
    xdotool mousemove "$x" "$y" click --repeat "$n" --delay 10 "$button"
  elif [ $r -lt 82 ]; then
    key=${keys[$((RANDOM % ${#keys[@]}))]}
    echo "$i key $key" >>"$log"
    xdotool key "$key"
  elif [ $r -lt 87 ]; then
    x2=$((wx + RANDOM % (ww > 0 ? ww : 1)))
    y2=$((wy + RANDOM % (wh > 0 ? wh : 1)))
    echo "$i drag $x $y $x2 $y2" >>"$log"
    xdotool mousemove "$x" "$y" mousedown 1 mousemove "$((x + (x2 - x) / 2))" "$((y + (y2 - y) / 2))" \
      mousemove "$x2" "$y2" mouseup 1
  elif [ $r -lt 95 ]; then
    w=$((300 + RANDOM % 980))
    h=$((200 + RANDOM % 800))
    echo "$i resize $w $h" >>"$log"
    xdotool windowsize "$wid" "$w" "$h"
    stale=1
  elif [ $r -lt 98 ]; then
    echo "$i title bar double click" >>"$log"
    xdotool mousemove "$((wx + ww / 2))" "$((wy > 12 ? wy - 10 : 2))" click --repeat 2 --delay 60 1
    stale=1
  else
    echo "$i move" >>"$log"
    xdotool windowmove "$wid" "$((RANDOM % 600))" "$((RANDOM % 400))"
    stale=1
  fi
  alive "$i" || stale=1
done
echo "$actions actions, the program started $starts times, no crash"
