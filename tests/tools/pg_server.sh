#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests that load what a recovery
# wrote (loaders, --into, the restore benchmark).
#
#   pg_server.sh ensure   start it unless it answers; print its connection
#                         string ("host=/tmp port=N user=U dbname=postgres")
#   pg_server.sh stop     stop it and remove its cluster
#
# VESK_TEST_PG_PORT (default 54329) chooses the port. Needs a server package
# (Debian: postgresql); the newest /usr/lib/postgresql/*/bin is used. Run as
# root, the cluster belongs to the unprivileged user vesktest, as servers
# refuse to run as root. Exit status 2: no server binaries on this machine.
set -euo pipefail

port="${VESK_TEST_PG_PORT:-54329}"
data="/tmp/vesk-test-server-$port"

pg_bin() {
  local newest
  newest=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -t/ -k5 -n | tail -n 1)
  [ -n "$newest" ] && [ -x "$newest/initdb" ] && echo "$newest"
}

server_user() {
  if [ "$(id -u)" = 0 ]; then
    id vesktest >/dev/null 2>&1 || useradd --system --no-create-home vesktest
    echo vesktest
  else
    id -un
  fi
}

as_user() {
  local user=$1
  shift
  if [ "$(id -u)" = 0 ]; then runuser -u "$user" -- "$@"; else "$@"; fi
}

answers() {
  "$1/pg_isready" -q -h /tmp -p "$port" >/dev/null 2>&1
}

case "${1:-}" in
  ensure)
    bin=$(pg_bin) || { echo "no PostgreSQL server binaries (install postgresql)" >&2; exit 2; }
    user=$(server_user)
    # Serialized: tests run in parallel and each may be the first to ask.
    exec 9>"/tmp/vesk-test-server-$port.lock"
    flock 9
    if ! answers "$bin"; then
      if [ ! -f "$data/PG_VERSION" ]; then
        rm -rf "$data"
        mkdir -p "$data"
        [ "$(id -u)" = 0 ] && chown "$user" "$data"
        as_user "$user" "$bin/initdb" -D "$data" -E UTF8 --locale=C -A trust -U "$user" >/dev/null
      fi
      [ "$(id -u)" = 0 ] && touch "$data.log" && chown "$user" "$data.log"
      as_user "$user" "$bin/pg_ctl" -D "$data" -l "$data.log" -w \
        -o "-p $port -k /tmp -c listen_addresses='' -c fsync=off" start >/dev/null 9>&-
    fi
    echo "host=/tmp port=$port user=$user dbname=postgres"
    ;;
  stop)
    bin=$(pg_bin) || exit 0
    if [ -f "$data/PG_VERSION" ]; then
      as_user "$(server_user)" "$bin/pg_ctl" -D "$data" -m fast -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$data" "$data.log" "/tmp/vesk-test-server-$port.lock"
    ;;
  *)
    echo "usage: pg_server.sh ensure|stop" >&2
    exit 64
    ;;
esac
