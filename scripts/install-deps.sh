#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root.
# Quick when everything is present already: apt is asked only for what is missing.
set -euo pipefail

need=()
pkgs=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev
      g++-mingw-w64-i686 wine wine32:i386 xvfb xauth fonts-wqy-microhei
      locales x11-apps imagemagick python3)
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done

if ((${#need[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "missing packages: ${need[*]} (run as root to install them)" >&2
    exit 1
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# Wine takes its ANSI code page from the locale; without zh_CN it stays 1252.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  if [[ $(id -u) -eq 0 ]]; then
    localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
  else
    echo "locale zh_CN.UTF-8 is missing" >&2
    exit 1
  fi
fi
