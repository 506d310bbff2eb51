#!/usr/bin/env bash
# wine-run.sh <program.exe> [args...]
# Runs a Windows program in the Wine environment that `wine-env.sh start`
# prepared in $MORVANE_WINE_DIR, under a time limit of MORVANE_WINE_TIMEOUT
# seconds (120 by default). Its stdout is GBK (code page 936) and is passed on
# as UTF-8. Exits with the program's exit code (124 after the time limit).
# CTest uses this as CMAKE_CROSSCOMPILING_EMULATOR.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-common.sh"

dir=${MORVANE_WINE_DIR:-}
if [[ -z $dir || ! -d $dir/prefix ]]; then
  echo "wine-run: MORVANE_WINE_DIR must name a directory prepared by wine-env.sh start" >&2
  exit 125
fi
morvane_wine_env "$dir"
if [[ -z ${DISPLAY:-} ]]; then
  echo "wine-run: no X display recorded in $dir (run wine-env.sh start)" >&2
  exit 125
fi

# iconv would hold everything back until the end; these pass each line on as
# it comes, so a hanging program still shows how far it got. GBK trail bytes
# are never a line feed, so splitting at line feeds is safe. Perl starts in
# 10 ms, Python in 150: Perl when its Encode::CN is there.
decode() {
  if perl -MEncode::CN -e1 2>/dev/null; then
    perl -MEncode -e '$| = 1; binmode STDOUT;
      while (<STDIN>) { print Encode::encode("UTF-8", Encode::decode("cp936", $_)) }'
  else
    python3 -c '
import codecs, sys
dec = codecs.getincrementaldecoder("gb18030")(errors="replace")
out = sys.stdout.buffer
for chunk in iter(lambda: sys.stdin.buffer.read1(65536), b""):
    out.write(dec.decode(chunk).encode("utf-8")); out.flush()
out.write(dec.decode(b"", final=True).encode("utf-8")); out.flush()
'
  fi
}

# Wine's stderr goes to a file first: Wine processes that start on demand
# (services.exe, the desktop's explorer.exe) inherit it and outlive this run,
# and a pipe they hold open would keep CTest waiting for its end.
err=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$err"' EXIT
timeout -k 5 "${MORVANE_WINE_TIMEOUT:-120}" wine "$@" 2>"$err" | decode
status=("${PIPESTATUS[@]}")
cat "$err" >&2
exit "${status[0]}"
