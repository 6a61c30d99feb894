#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with. Idempotent.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6sql6-ibase libqt6sql6-odbc qt6-translations-l10n
  firebird3.0-server firebird3.0-utils firebird-dev
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql
  postgresql sqlite3 mariadb-server odbc-mariadb locales
  xvfb xauth trayer x11-utils imagemagick fonts-dejavu-core fonts-liberation xdg-utils xdotool
  procps psmisc tzdata
  openbox xterm pngquant  # tools/screenshots only
  qt6-httpserver-dev qt6-websockets-dev libsystemd-dev python3-prometheus-client
  # The Windows automation bridge: built with mingw-w64, run under Wine in tests.
  g++-mingw-w64-x86-64-posix wine wine64
  # libFuzzer and the sanitizers' runtimes, and the symbolizer for their reports
  clang libclang-rt-14-dev llvm
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  # The Firebird package asks for a SYSDBA password; an empty answer makes it generate one.
  echo "firebird3.0-server shared/firebird/enabled boolean true" | $SUDO debconf-set-selections
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The locale tests write under one of these and read under another.
wanted_locales=(ru_RU.UTF-8 de_DE.UTF-8 en_US.UTF-8)
missing_locales=()
for l in "${wanted_locales[@]}"; do
  locale -a | grep -qix "${l/UTF-8/utf8}" || missing_locales+=("$l")
done
if [ ${#missing_locales[@]} -gt 0 ]; then
  for l in "${missing_locales[@]}"; do
    $SUDO sed -i "s/^# *\(${l} UTF-8\)/\1/" /etc/locale.gen
  done
  $SUDO locale-gen
fi
