#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with. Idempotent.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6sql6-ibase libqt6sql6-odbc qt6-translations-l10n
  firebird3.0-server firebird3.0-utils firebird-dev
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql
  postgresql sqlite3
  xvfb xauth trayer x11-utils imagemagick fonts-dejavu-core fonts-liberation xdg-utils xdotool
  procps psmisc
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -qq
# The Firebird package asks for a SYSDBA password; an empty answer makes it generate one.
echo "firebird3.0-server shared/firebird/enabled boolean true" | $SUDO debconf-set-selections
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
