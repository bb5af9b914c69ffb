#!/usr/bin/env bash
# Installs the Debian packages the launcher builds, tests and demos with.
# Idempotent: packages already present are not touched. Runs apt-get as
# root; anyone else gets the exact command to run and a non-zero exit.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config ninja-build clang-format
  libcurl4-openssl-dev libssl-dev minisign openssl ca-certificates
  qt6-base-dev qt6-webengine-dev libgl-dev
  libgtest-dev libgmock-dev
  libcpp-httplib-dev
  lintian desktop-file-utils dbus-daemon dbus-bin
  nginx-light tinyproxy python3 lighttpd varnish
  xvfb xauth xdotool imagemagick time acl
  clang libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 dpkg-dev xz-utils patch nsis osslsigncode
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

cmd=(apt-get install -y --no-install-recommends "${missing[@]}")
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root:" >&2
  echo "  apt-get update && ${cmd[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
"${cmd[@]}"
