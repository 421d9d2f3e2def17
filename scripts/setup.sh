#!/bin/sh
# Installs what building, testing and running Dravolt needs. Idempotent: a
# second run with everything present does nothing but check.
set -eu

PKGS="g++ cmake ninja-build pkg-config libgtest-dev qt6-base-dev qt6-image-formats-plugins
      libqt6svg6 firebird3.0-server firebird3.0-utils firebird-dev libfbclient2
      xvfb xauth imagemagick"

missing=""
for p in $PKGS; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# The server package asks for the SYSDBA password; the test server script sets
# its own password later, so any preseeded value will do here.
PW="${DRAVOLT_FB_PASSWORD:-masterkey}"
printf '%s\n' \
  "firebird3.0-server shared/firebird/sysdba_password/first_install password $PW" \
  "firebird3.0-server shared/firebird/sysdba_password/new_password password $PW" \
  | $SUDO debconf-set-selections

export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y --no-install-recommends $missing; then
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends $missing
fi
