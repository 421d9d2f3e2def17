#!/bin/sh
# Starts, stops or checks the local Firebird 3 server that the tests use.
# It listens on 127.0.0.1:3050 only; SYSDBA's password is DRAVOLT_FB_PASSWORD
# (default masterkey). Test databases go under DRAVOLT_FB_DATA
# (default /tmp/dravolt-fb), a folder the server's user can write.
#   scripts/fbserver.sh start | stop | status
set -eu

PW="${DRAVOLT_FB_PASSWORD:-masterkey}"
DATA="${DRAVOLT_FB_DATA:-/tmp/dravolt-fb}"
RUN="${DRAVOLT_FB_RUN:-/tmp/dravolt-fb-run}"
CONF=/etc/firebird/3.0/firebird.conf
SECDB=/var/lib/firebird/3.0/system/security3.fdb
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

ready() {
    fbsvcmgr localhost:service_mgr -user SYSDBA -password "$PW" info_server_version >/dev/null 2>&1
}

alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

start() {
    $SUDO mkdir -p "$DATA" "$RUN"
    $SUDO chown firebird:firebird "$DATA" "$RUN"
    $SUDO chmod 777 "$DATA"
    if ready; then echo "firebird: already running"; return 0; fi

    # Loopback only.
    if ! grep -q '^RemoteBindAddress = 127.0.0.1' "$CONF"; then
        $SUDO sed -i '/^[#[:space:]]*RemoteBindAddress[[:space:]]*=/d' "$CONF"
        echo 'RemoteBindAddress = 127.0.0.1' | $SUDO tee -a "$CONF" >/dev/null
    fi

    # SYSDBA's password, set through the embedded engine while the server is down.
    if ! alive "$RUN/fbguard.pid"; then
        printf "create or alter user SYSDBA password '%s';\ncommit;\n" "$PW" |
            $SUDO isql-fb -q -user SYSDBA "$SECDB" >/dev/null
        $SUDO chown firebird:firebird "$SECDB"
        # The embedded run as root may leave root-owned lock files behind.
        for d in /tmp/firebird /var/run/firebird; do
            [ -d "$d" ] && $SUDO chown -R firebird:firebird "$d"
        done
        $SUDO start-stop-daemon --start --background --make-pidfile \
            --pidfile "$RUN/fbguard.pid" --chuid firebird:firebird \
            --exec /usr/sbin/fbguard -- -forever -pidfile "$RUN/firebird.pid"
    fi
    i=0
    until ready; do
        i=$((i + 1))
        if [ $i -gt 60 ]; then
            echo "firebird: did not become ready" >&2
            tail -20 /var/log/firebird/firebird3.0.log >&2 || true
            exit 1
        fi
        sleep 0.5
    done
    echo "firebird: running (guardian pid $(cat "$RUN/fbguard.pid"))"
}

stop() {
    if alive "$RUN/fbguard.pid"; then $SUDO kill -TERM "$(cat "$RUN/fbguard.pid")" || true; fi
    sleep 1
    if alive "$RUN/firebird.pid"; then $SUDO kill -TERM "$(cat "$RUN/firebird.pid")" || true; fi
    $SUDO rm -f "$RUN/fbguard.pid" "$RUN/firebird.pid"
    echo "firebird: stopped"
}

case "${1:-}" in
    start) start ;;
    stop) stop ;;
    status) if ready; then echo running; else echo stopped; exit 1; fi ;;
    *) echo "usage: $0 start|stop|status" >&2; exit 2 ;;
esac
