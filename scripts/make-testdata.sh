#!/bin/sh
# Creates small databases on the local Firebird server and writes their
# statistics text, as the real tools print it, into a folder:
#   fb3_full.txt      fbstat -a -r   (tables, record versions, indices)
#   fb3_header.txt    fbstat -h
#   fb3_index.txt     fbstat -i      (index pages only)
#   fb3_service.txt   the Services API's database statistics (data pages,
#                     index pages, record versions); every line ends in a blank
#   fb3_page4096.txt  fbstat -a -r of a database with the smallest page size
#   fb3_oddnames.txt  fbstat -a -r of tables and indices whose names look like
#                     the lines around them (keywords, a leading blank, a tab,
#                     parentheses)
#   fb3_oddnames_service.txt  the same through the Services API
#   fb3_oddnames_index.txt    fbstat -i of it (index pages only)
#   fb3_oddnames_data.txt     fbstat -d of it (data pages only)
#   fb3_counters.txt  fb3_full.txt with the header of a copy of its database
#                     whose transaction counters were set past 2^31 (oldest 7,
#                     next 2999990010), as a Firebird 3 engine prints them
#
# Each text is checked to end with the engine's closing line, so that output
# cut short (a lost connection, a server restarted by another test) fails
# here instead of reaching a test as statistics.
#
#   scripts/make-testdata.sh [output folder] [database name prefix]
# Defaults: tests/data of this repository, prefix "dvt_testdata". The server
# must be running (scripts/fbserver.sh start). Tests call this script with
# their own folder and prefix to take fresh statistics at run time.
set -eu

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
OUT="${1:-$ROOT/tests/data}"
PREFIX="${2:-dvt_testdata}"
PW="${DRAVOLT_FB_PASSWORD:-masterkey}"
DATA="${DRAVOLT_FB_DATA:-/tmp/dravolt-fb}"
MAIN="$DATA/${PREFIX}_main.fdb"
SMALL="$DATA/${PREFIX}_page4096.fdb"
ODD="$DATA/${PREFIX}_oddnames.fdb"
TAB="$(printf '\t')"

mkdir -p "$OUT"
if ! fbsvcmgr localhost:service_mgr -user SYSDBA -password "$PW" info_server_version >/dev/null 2>&1; then
    echo "make-testdata: the Firebird server on localhost is not running (scripts/fbserver.sh start)" >&2
    exit 1
fi

isql() { isql-fb -q -b -user SYSDBA -password "$PW" "$@"; }

# The server owns the files; a previous run's databases are dropped first.
for db in "$MAIN" "$SMALL" "$ODD"; do
    if [ -e "$db" ]; then
        echo "drop database;" | isql "localhost:$db" >/dev/null 2>&1 || rm -f "$db"
    fi
done

# The databases go when the script ends, also when a check below fails it.
drop_all() {
    for db in "$MAIN" "$SMALL" "$ODD"; do
        echo "drop database;" | isql "localhost:$db" >/dev/null 2>&1 || true
    done
}
trap drop_all EXIT

# Tables with records, blobs, an empty table, a name holding " (", and the
# index kinds: primary, unique, foreign key, descending, expression,
# inactive. Updates and deletes come last, with nothing reading the tables
# afterwards, so that their back versions are still there for the statistics.
isql <<EOF
SET SQL DIALECT 3;
CREATE DATABASE 'localhost:$MAIN' PAGE_SIZE 8192 DEFAULT CHARACTER SET UTF8;
CREATE TABLE CUSTOMERS (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(60) NOT NULL,
  EMAIL VARCHAR(80), CITY VARCHAR(30), CREATED DATE);
CREATE UNIQUE INDEX CUSTOMERS_EMAIL_UNQ ON CUSTOMERS (EMAIL);
CREATE DESCENDING INDEX CUSTOMERS_CREATED_DESC ON CUSTOMERS (CREATED);
CREATE INDEX CUSTOMERS_UPPER_NAME ON CUSTOMERS COMPUTED BY (UPPER(NAME));
CREATE INDEX CUSTOMERS_CITY ON CUSTOMERS (CITY);
CREATE TABLE ORDERS (ID INTEGER NOT NULL PRIMARY KEY,
  CUSTOMER_ID INTEGER NOT NULL REFERENCES CUSTOMERS (ID),
  AMOUNT NUMERIC(12,2), STATUS SMALLINT, NOTE VARCHAR(100));
CREATE INDEX ORDERS_STATUS ON ORDERS (STATUS);
ALTER INDEX ORDERS_STATUS INACTIVE;
CREATE TABLE DOCUMENTS (ID INTEGER NOT NULL PRIMARY KEY, TITLE VARCHAR(40), BODY BLOB SUB_TYPE TEXT);
CREATE TABLE EMPTY_TABLE (ID INTEGER, NAME VARCHAR(10));
CREATE TABLE "Odd (name)" (ID INTEGER);
CREATE INDEX "Odd idx (1)" ON "Odd (name)" (ID);
COMMIT;
SET TERM ^;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 1;
BEGIN
  WHILE (I <= 1500) DO BEGIN
    INSERT INTO CUSTOMERS VALUES (:I, 'Customer ' || :I, 'c' || :I || '@mail.example',
      'City ' || MOD(:I, 12), DATEADD(MOD(:I, 400) DAY TO DATE '2020-01-01'));
    I = I + 1;
  END
  I = 1;
  WHILE (I <= 4000) DO BEGIN
    INSERT INTO ORDERS VALUES (:I, MOD(:I, 1500) + 1, :I * 1.25, MOD(:I, 5), 'order note ' || :I);
    I = I + 1;
  END
  I = 1;
  WHILE (I <= 40) DO BEGIN
    INSERT INTO DOCUMENTS VALUES (:I, 'Document ' || :I,
      IIF(MOD(:I, 4) = 0, LPAD('', 20000, 'lorem ipsum '), 'short body ' || :I));
    I = I + 1;
  END
  I = 1;
  WHILE (I <= 300) DO BEGIN
    INSERT INTO "Odd (name)" VALUES (:I);
    I = I + 1;
  END
END^
SET TERM ;^
COMMIT;
UPDATE ORDERS SET AMOUNT = AMOUNT + 1, STATUS = 9 WHERE MOD(ID, 4) = 0;
DELETE FROM ORDERS WHERE MOD(ID, 10) = 0;
UPDATE CUSTOMERS SET CITY = 'Moved' WHERE ID <= 150;
DELETE FROM DOCUMENTS WHERE ID > 36;
COMMIT;
EOF

# Smallest page size: a wide key gives a two-level index.
isql <<EOF
SET SQL DIALECT 3;
CREATE DATABASE 'localhost:$SMALL' PAGE_SIZE 4096;
CREATE TABLE ITEMS (ID INTEGER NOT NULL PRIMARY KEY, CODE VARCHAR(60) NOT NULL);
CREATE INDEX ITEMS_CODE ON ITEMS (CODE);
COMMIT;
SET TERM ^;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 1;
BEGIN
  WHILE (I <= 6000) DO BEGIN
    INSERT INTO ITEMS VALUES (:I, LPAD(:I * 7919, 50, 'x'));
    I = I + 1;
  END
END^
SET TERM ;^
COMMIT;
EOF

# Names that look like the lines around them: keywords of other lines, a
# leading blank, a tab, parentheses, and names that begin with four blanks,
# whose first line the engine prints exactly like an index's. Every table
# holds records, some also back versions.
isql <<EOF
SET SQL DIALECT 3;
CREATE DATABASE 'localhost:$ODD' PAGE_SIZE 8192;
CREATE TABLE "Index T" (ID INTEGER NOT NULL);
CREATE INDEX "PK (x)" ON "Index T" (ID);
CREATE TABLE "A Blob pointer" (ID INTEGER NOT NULL, B BLOB SUB_TYPE TEXT);
CREATE INDEX "Blob pointer" ON "A Blob pointer" (ID);
CREATE TABLE "C Service ended" (ID INTEGER NOT NULL);
CREATE INDEX "idx with space (1)" ON "C Service ended" (ID);
CREATE TABLE " B" (ID INTEGER NOT NULL);
CREATE INDEX " B idx" ON " B" (ID);
CREATE TABLE "Tab${TAB}Tab" (ID INTEGER NOT NULL);
CREATE INDEX "Tab${TAB}idx" ON "Tab${TAB}Tab" (ID);
CREATE TABLE "My (odd) Table" (ID INTEGER NOT NULL);
CREATE INDEX "Index My (odd) (2)" ON "My (odd) Table" (ID);
CREATE TABLE "    Index Q" (ID INTEGER NOT NULL);
CREATE INDEX "IDX Q" ON "    Index Q" (ID);
CREATE TABLE "    x" (ID INTEGER NOT NULL);
CREATE INDEX "    x idx" ON "    x" (ID);
CREATE TABLE "  Leading" (ID INTEGER NOT NULL);
CREATE INDEX "  IX_LEAD" ON "  Leading" (ID);
COMMIT;
SET TERM ^;
EXECUTE BLOCK AS
  DECLARE I INTEGER = 1;
BEGIN
  WHILE (I <= 200) DO BEGIN
    INSERT INTO "Index T" VALUES (:I);
    INSERT INTO "A Blob pointer" VALUES (:I, 'blob ' || :I);
    INSERT INTO "C Service ended" VALUES (:I);
    INSERT INTO " B" VALUES (:I);
    INSERT INTO "Tab${TAB}Tab" VALUES (:I);
    INSERT INTO "My (odd) Table" VALUES (:I);
    INSERT INTO "    Index Q" VALUES (:I);
    INSERT INTO "    x" VALUES (:I);
    INSERT INTO "  Leading" VALUES (:I);
    I = I + 1;
  END
END^
SET TERM ;^
COMMIT;
UPDATE "Index T" SET ID = ID + 1000 WHERE ID <= 20;
UPDATE " B" SET ID = ID + 1000 WHERE ID <= 20;
UPDATE "Tab${TAB}Tab" SET ID = ID + 1000 WHERE ID <= 20;
COMMIT;
EOF

fbstat_() { fbstat "$@" -user SYSDBA -password "$PW"; }
service_stats() {
    fbsvcmgr localhost:service_mgr -user SYSDBA -password "$PW" action_db_stats dbname "$1" \
        sts_data_pages sts_idx_pages sts_record_versions >"$2"
}
fbstat_ -a -r "localhost:$MAIN" >"$OUT/fb3_full.txt"
fbstat_ -h "localhost:$MAIN" >"$OUT/fb3_header.txt"
fbstat_ -i "localhost:$MAIN" >"$OUT/fb3_index.txt"
service_stats "$MAIN" "$OUT/fb3_service.txt"
fbstat_ -a -r "localhost:$SMALL" >"$OUT/fb3_page4096.txt"
fbstat_ -a -r "localhost:$ODD" >"$OUT/fb3_oddnames.txt"
service_stats "$ODD" "$OUT/fb3_oddnames_service.txt"
fbstat_ -i "localhost:$ODD" >"$OUT/fb3_oddnames_index.txt"
fbstat_ -d "localhost:$ODD" >"$OUT/fb3_oddnames_data.txt"

# The Services API prints the same blocks as fbstat, each line ending in a
# blank. Output that differs (a line split or lost on the way) is taken once
# more; if it differs again the script fails and shows how.
blocks() { sed -e 's/ *$//' "$1" | sed -n '/^Analyzing database pages/,$p' | grep -v '^Gstat completion time'; }
same_blocks() { blocks "$1" >"$OUT/.blocks1" && blocks "$2" >"$OUT/.blocks2" && cmp -s "$OUT/.blocks1" "$OUT/.blocks2"; }
for pair in "$MAIN fb3_full fb3_service" "$ODD fb3_oddnames fb3_oddnames_service"; do
    set -- $pair
    if ! same_blocks "$OUT/$2.txt" "$OUT/$3.txt"; then
        echo "make-testdata: $3.txt differs from $2.txt; taken again" >&2
        service_stats "$1" "$OUT/$3.txt"
        if ! same_blocks "$OUT/$2.txt" "$OUT/$3.txt"; then
            diff "$OUT/.blocks1" "$OUT/.blocks2" >&2 || true
            rm -f "$OUT/.blocks1" "$OUT/.blocks2"
            exit 1
        fi
    fi
done
rm -f "$OUT/.blocks1" "$OUT/.blocks2"

# Writes the unsigned value $3 as $4 little-endian bytes at offset $2 of file $1.
put_le() {
    v=$3 i=0 bytes=""
    while [ "$i" -lt "$4" ]; do
        bytes="$bytes$(printf '\\%03o' $((v % 256)))"
        v=$((v / 256)) i=$((i + 1))
    done
    printf "$bytes" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

# Statistics of a busy database (counters past 2^31) cannot be made by running
# billions of transactions, and the engine refuses a full analysis of a file
# whose counters point past its TIP pages. So a copy of the main database gets
# the counters in its header page (ODS 12: the low words of the oldest, oldest
# active and next transaction at 28, 32 and 36, the oldest snapshot at 72;
# their high words at 126, 128, 124 and 130), the embedded engine prints that
# header, and the original's real table and index blocks follow it.
counters_text() {
    copy="$DATA/${PREFIX}_counters.fdb"
    cp "$MAIN" "$copy"
    set -- 28 126 7  32 128 2999990000  36 124 2999990010  72 130 2999990000
    while [ $# -gt 0 ]; do
        put_le "$copy" "$1" $(($3 % 4294967296)) 4
        put_le "$copy" "$2" $(($3 / 4294967296)) 2
        shift 3
    done
    # A local path: the embedded engine reads the copy, which no server has open.
    if ! fbstat -h "$copy" >"$OUT/fb3_counters.head"; then
        rm -f "$copy"
        echo "make-testdata: the embedded engine cannot read $copy (run as root)" >&2
        exit 1
    fi
    rm -f "$copy"
    { sed '/\*END\*/q' "$OUT/fb3_counters.head"; sed '1,/\*END\*/d' "$OUT/fb3_full.txt"; } >"$OUT/fb3_counters.txt"
    rm -f "$OUT/fb3_counters.head"
    grep -q 'Next transaction.2999990010$' "$OUT/fb3_counters.txt" || {
        echo "make-testdata: the copy's header does not show the counters written into it" >&2
        exit 1
    }
}
counters_text

for f in fb3_full fb3_header fb3_index fb3_service fb3_page4096 fb3_oddnames fb3_oddnames_service \
    fb3_oddnames_index fb3_oddnames_data fb3_counters; do
    if ! grep -q '^Gstat completion time' "$OUT/$f.txt"; then
        echo "make-testdata: $OUT/$f.txt lacks its closing line: the statistics were cut short" >&2
        exit 1
    fi
done

echo "make-testdata: statistics written to $OUT"
