# Sourced by wine-env.sh and wine-run.sh: the environment every Wine run here uses.
#   morvane_wine_env <dir>   exports WINEPREFIX=<dir>/prefix and the rest;
#                            DISPLAY too once wine-env.sh start has recorded one.

morvane_wine_env() {
  local dir=$1
  export WINEPREFIX=$dir/prefix WINEARCH=win32 WINEDEBUG=-all
  # No Mono or Gecko installers, no desktop menu entries.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # Wine takes the ANSI code page from the locale: zh_CN gives 936 (GBK).
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  # WinINet and WinHTTP under Wine honour these, even for 127.0.0.1.
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY
  if [[ -s $dir/display ]]; then
    export DISPLAY=:$(<"$dir/display")
  fi
}
