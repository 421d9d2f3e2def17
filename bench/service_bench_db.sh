#!/bin/sh
# Makes the database that bench/service_bench reads: 3000 tables, each with a
# primary key, a second index and 20 rows, created through the local server
# (so the server's user owns the file). Does nothing when the file exists.
#   bench/service_bench_db.sh [path]
# Default path: $DRAVOLT_FB_DATA/service-bench-3000.fdb (DRAVOLT_FB_DATA
# defaults to /tmp/dravolt-fb). SYSDBA's password: DRAVOLT_FB_PASSWORD
# (default masterkey).
set -eu
PW="${DRAVOLT_FB_PASSWORD:-masterkey}"
DB="${1:-${DRAVOLT_FB_DATA:-/tmp/dravolt-fb}/service-bench-3000.fdb}"
TABLES=3000
[ -f "$DB" ] && exit 0

SQL="$(mktemp /tmp/dravolt-service-bench-XXXXXX.sql)"
trap 'rm -f "$SQL"' EXIT
cat >"$SQL" <<EOF
set bail on;
create database 'localhost:$DB' user 'SYSDBA' password '$PW' page_size 8192;
set term ^;
execute block as declare t integer = 0; begin
  while (t < $TABLES) do begin
    execute statement 'create table ST' || t ||
      ' (ID integer not null primary key, NAME varchar(40), CITY char(20))';
    execute statement 'create index SX' || t || ' on ST' || t || ' (CITY)';
    t = t + 1;
  end
end^
commit^
execute block as declare t integer = 0; begin
  while (t < $TABLES) do begin
    execute statement 'insert into ST' || t || ' (ID, NAME, CITY) ' ||
      'select first 20 rdb\$relation_id, rdb\$relation_name, ''City '' || mod(rdb\$relation_id, 7) ' ||
      'from rdb\$relations';
    t = t + 1;
  end
end^
set term ;^
commit;
EOF
if ! isql-fb -q -i "$SQL"; then
    rm -f "$DB"
    echo "could not create $DB" >&2
    exit 1
fi
