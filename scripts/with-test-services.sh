#!/usr/bin/env bash
# Runs a command (the test suite) with the services the tests use: a private sound server with a null
# sink, its loopback source and a pipe source. Tests that need a device skip when none is there, so a
# server that fails to start costs coverage, not the run.
set -uo pipefail

cleanup() {
  if [ -n "${SELVA_PA_DIR:-}" ]; then
    [ -f "$SELVA_PA_DIR/keepalive.pid" ] && kill "$(cat "$SELVA_PA_DIR/keepalive.pid")" 2>/dev/null
    pulseaudio -k 2>/dev/null
    rm -rf "$SELVA_PA_DIR"
  fi
}

if command -v pulseaudio >/dev/null 2>&1 && [ -z "${SELVA_NO_SOUND_SERVER:-}" ]; then
  SELVA_PA_DIR=$(mktemp -d)
  export XDG_RUNTIME_DIR=$SELVA_PA_DIR HOME=$SELVA_PA_DIR SELVA_PA_DIR
  if pulseaudio -D -n --exit-idle-time=-1 --disallow-exit --log-target="file:$SELVA_PA_DIR/pa.log" \
      -L module-native-protocol-unix -L "module-null-sink sink_name=nullsink rate=48000" \
      -L "module-remap-source master=nullsink.monitor source_name=loopin source_properties=device.description=LoopIn" \
      -L "module-pipe-source source_name=pipein file=$SELVA_PA_DIR/pipein.fifo format=s16le rate=44100 channels=1" \
      2>/dev/null; then
    parec --latency-msec=50 -d nullsink.monitor >/dev/null 2>&1 &
    echo $! >"$SELVA_PA_DIR/keepalive.pid"
    sleep 2.2
  fi
  trap cleanup EXIT
fi

"$@"
