#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests.
#
#   pg-test-server.sh start DIR    a new cluster in DIR (emptied first), started
#   pg-test-server.sh stop DIR     stops it and removes DIR
#   pg-test-server.sh pause DIR    stops the server, keeps its data
#   pg-test-server.sh resume DIR   starts it again on the same data
#   pg-test-server.sh url DIR      prints the connection URL
#
# The server listens on a socket in DIR only (no TCP port), so several build
# folders can each run one at once. Its superuser "quellix_admin" has a
# generated password kept in DIR/pgpass (mode 0600) for libpq's PGPASSFILE;
# it is never given on a command line. Run as root, the server runs as the
# "postgres" system user (it refuses to run as root).
#
# Without PostgreSQL installed, start writes DIR/absent and succeeds, so that
# the tests can say why they skip.
set -euo pipefail

cmd=${1:-}
dir=${2:-}
[ -n "$cmd" ] && [ -n "$dir" ] || { echo "usage: $0 start|stop|pause|resume|url DIR" >&2; exit 2; }
dir=$(realpath -m "$dir")
bindir=${PG_BINDIR:-/usr/lib/postgresql/15/bin}
port=5432 # names the socket file only
user=quellix_admin

as_server() {
  if [ "$(id -u)" = 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

url() {
  # The socket folder as the host, percent-encoded, as libpq reads URIs.
  local host
  host=$(printf '%s' "$dir" | sed -e 's/%/%25/g' -e 's|/|%2F|g')
  printf 'postgresql://%s:%s/quellix\n' "$host" "$port"
}

pg_ctl_run() {
  as_server "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 "$@" >/dev/null
}

case "$cmd" in
start)
  if [ -d "$dir/data" ]; then
    pg_ctl_run stop -m immediate 2>/dev/null || true
  fi
  rm -rf "$dir"
  mkdir -p "$dir"
  if [ ! -x "$bindir/initdb" ]; then
    echo "PostgreSQL is not installed ($bindir/initdb missing)" >"$dir/absent"
    echo "pg-test-server: PostgreSQL is not installed; the tests that need it skip"
    exit 0
  fi
  umask 077
  password=$(head -c 24 /dev/urandom | base64 | tr -d '/+=')
  printf '%s\n' "$password" >"$dir/initdb-password"
  # libpq's password file: host (the socket folder) : port : db : user : password
  printf '*:*:*:%s:%s\n' "$user" "$password" >"$dir/pgpass"
  unset password
  if [ "$(id -u)" = 0 ]; then
    chown postgres "$dir" "$dir/initdb-password"
    runuser -u postgres -- test -w "$dir" ||
      { echo "pg-test-server: the postgres user cannot reach $dir (a parent folder is closed to it)" >&2; exit 1; }
  fi
  as_server "$bindir/initdb" -D "$dir/data" -U "$user" --pwfile="$dir/initdb-password" \
    --auth-local=scram-sha-256 --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  rm -f "$dir/initdb-password"
  cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$dir'
port = $port
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 200
EOF
  pg_ctl_run start || { cat "$dir/server.log" >&2; exit 1; }
  PGPASSFILE="$dir/pgpass" "$bindir/psql" -q -X -h "$dir" -p "$port" -U "$user" -d postgres \
    -c 'CREATE DATABASE quellix' >/dev/null
  echo "pg-test-server: running, $(url)"
  ;;
stop)
  # Servers that tests started in folders of their own inside this one
  # (a test that crashed leaves its server running otherwise).
  for nested in "$dir"/*/data; do
    [ -f "$nested/postmaster.pid" ] && as_server "$bindir/pg_ctl" -D "$nested" -w -t 60 stop -m immediate >/dev/null 2>&1
  done
  if [ -d "$dir/data" ]; then
    pg_ctl_run stop -m fast || pg_ctl_run stop -m immediate || true
  fi
  rm -rf "$dir"
  ;;
pause)
  pg_ctl_run stop -m fast
  ;;
resume)
  pg_ctl_run start
  ;;
url)
  url
  ;;
*)
  echo "usage: $0 start|stop|pause|resume|url DIR" >&2
  exit 2
  ;;
esac
