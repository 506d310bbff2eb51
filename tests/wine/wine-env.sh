#!/usr/bin/env bash
# wine-env.sh start|stop <dir>
#
# start: makes, once, a private 32-bit Wine prefix in <dir>/prefix (Chinese
#        locale, font replacements, no crash dialog, unmanaged windows),
#        starts a headless X server and a persistent wineserver for it, and
#        records the display and the X server's PID in <dir>. Parallel starts
#        on one <dir> are serialised by a lock; a second start reuses what the
#        first left running.
# stop:  stops that prefix's wineserver (and its Wine processes) and that X
#        server, by PID. Nothing else is touched.
#
# wine-run.sh runs a program in what start left behind (MORVANE_WINE_DIR=<dir>).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-common.sh"

usage() { echo "usage: $0 start|stop <dir>" >&2; exit 2; }
[[ $# -eq 2 && ( $1 == start || $1 == stop ) ]] || usage
action=$1
mkdir -p "$2"
dir=$(cd "$2" && pwd)
log=$dir/wine-env.log

exec 9>"$dir/.lock"
flock -w 300 9 || { echo "wine-env: $dir is locked" >&2; exit 1; }

# Programs started from here must not inherit the lock (fd 9) or the caller's
# output pipes: CTest waits until every holder of its pipe has gone.
detached() { "$@" </dev/null >>"$log" 2>&1 9>&-; }

xvfb_alive() {
  local pid
  [[ -s $dir/xvfb.pid ]] || return 1
  pid=$(<"$dir/xvfb.pid")
  [[ -r /proc/$pid/comm && $(</proc/$pid/comm) == Xvfb ]]
}

start_xvfb() {
  rm -f "$dir/display" "$dir/xvfb.pid" "$dir/display.new"
  # -displayfd lets the server pick the first free display itself (it takes
  # the lock file atomically and skips numbers in use) and report it when ready.
  Xvfb -displayfd 8 -screen 0 1280x800x24 -nolisten tcp \
    8>"$dir/display.new" </dev/null >>"$log" 2>&1 9>&- &
  local pid=$! i
  for ((i = 0; i < 200; i++)); do
    if [[ -s $dir/display.new ]] && grep -q '^[0-9]\+$' "$dir/display.new"; then
      tr -d '\n' <"$dir/display.new" >"$dir/display"
      rm -f "$dir/display.new"
      echo "$pid" >"$dir/xvfb.pid"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$pid" 2>/dev/null || true
  echo "wine-env: Xvfb did not start (see $log)" >&2
  exit 1
}

write_reg() {
  # UTF-16LE with a BOM: regedit reads the Chinese names right in any locale.
  {
    printf '\xff\xfe'
    sed 's/$/\r/' <<'REG' | iconv -f UTF-8 -t UTF-16LE
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"微软雅黑"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
"黑体"="WenQuanYi Micro Hei"
"SimHei"="WenQuanYi Micro Hei"
"宋体"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

; No window manager runs on the X server: unmanaged windows hide at once
; instead of waiting two seconds for a manager to withdraw them.
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

REG
  } >"$dir/morvane.reg"
}

make_prefix() {
  write_reg
  local stamp
  stamp=$(md5sum <"$dir/morvane.reg" | cut -d' ' -f1)
  if [[ -f $dir/prefix/.morvane-ready ]]; then
    [[ $(<"$dir/prefix/.morvane-ready") == "$stamp" ]] && return 0
    # Made by an older version of this script: only the registry entries change.
    detached wineserver -k || true
  else
    echo "wine-env: creating the Wine prefix in $dir/prefix (once, some seconds)" >&2
    rm -rf "$dir/prefix"
    detached wineboot -i
  fi
  (cd "$dir" && detached wine regedit /S morvane.reg)
  # Let the server write the registry out before the prefix counts as ready.
  detached wineserver -w
  if ! grep -q 'WenQuanYi Micro Hei' "$dir/prefix/user.reg"; then
    echo "wine-env: the registry entries were not applied (see $log)" >&2
    exit 1
  fi
  echo "$stamp" >"$dir/prefix/.morvane-ready"
}

stop_all() {
  if [[ -d $dir/prefix ]]; then
    detached wineserver -k || true
  fi
  if xvfb_alive; then
    local pid i
    pid=$(<"$dir/xvfb.pid")
    kill "$pid" 2>/dev/null || true
    for ((i = 0; i < 100; i++)); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.02
    done
  fi
  rm -f "$dir/xvfb.pid" "$dir/display"
}

morvane_wine_env "$dir"
case $action in
  start)
    xvfb_alive || start_xvfb
    morvane_wine_env "$dir"
    make_prefix
    # A persistent server: each later run starts in ~0.05 s instead of ~0.6 s.
    # When one runs already for this prefix, this one just exits.
    detached wineserver -p || true
    # Start the prefix's system processes now, with their output in the log,
    # rather than in the first test (they would hold on to its output).
    detached wineboot
    echo "wine-env: prefix $dir/prefix, display :$(<"$dir/display"), Xvfb PID $(<"$dir/xvfb.pid")"
    ;;
  stop)
    stop_all
    echo "wine-env: stopped ($dir)"
    ;;
esac
