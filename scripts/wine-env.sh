#!/usr/bin/env bash
# A private Wine prefix on a private Xvfb display, for tests and demos.
#   wine-env.sh start DIR     boot DIR/prefix, start Xvfb, write DIR/env
#   wine-env.sh stop DIR      stop Xvfb and the prefix's wineserver
#   wine-env.sh run DIR CMD…  run CMD inside that environment (e.g. wine x.exe)
# The prefix is booted once and reused while DIR/env exists and its display runs.
set -euo pipefail
cmd=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
shift 2

load_env() {
  # shellcheck disable=SC1091
  source "$dir/env"
}

display_alive() {
  [ -f "$dir/env" ] || return 1
  load_env
  [ -n "${XVFB_PID:-}" ] && kill -0 "$XVFB_PID" 2>/dev/null
}

start_display() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
  local pid=$!
  for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "Xvfb failed: $(cat "$dir/xvfb.log")" >&2; exit 1; }
    sleep 0.05
  done
  cat >"$dir/env" <<ENV
export DISPLAY=:$n
export XVFB_PID=$pid
export WINEPREFIX=$dir/prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
ENV
}

boot_prefix() {
  load_env
  if [ -f "$WINEPREFIX/.booted" ]; then return; fi
  rm -rf "$WINEPREFIX"
  wineboot -i >"$dir/wineboot.log" 2>&1
  # One shared virtual desktop: every process sees every window, with title bars.
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  # A crash ends the process at once instead of waiting in a dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
  # Debian's Wine does not find its own fonts.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  touch "$WINEPREFIX/.booted"
}

case "$cmd" in
  start)
    display_alive || start_display
    boot_prefix
    ;;
  stop)
    if [ -f "$dir/env" ]; then
      load_env
      wineserver -k 2>/dev/null || true
      kill "$XVFB_PID" 2>/dev/null || true
      rm -f "$dir/env"
    fi
    ;;
  run)
    display_alive || { echo "wine environment in $dir is not started" >&2; exit 1; }
    exec "$@"
    ;;
  *)
    echo "usage: wine-env.sh start|stop|run DIR [CMD…]" >&2
    exit 2
    ;;
esac
