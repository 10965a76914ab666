#!/bin/sh
# run_pgtap.sh TOOL DATA PGTAP: sets up a class server with the real typing-drill-class (two
# teachers, a class each, their pupils) and runs the pgTAP files on it. Run under with_postgres,
# which points TYPING_DRILL_TEST_ADMIN and TYPING_DRILL_TEST_SUPERUSER at its private server.
set -eu
tool=$1
data=$2
pgtap=$3
server=$TYPING_DRILL_TEST_ADMIN

"$tool" --server "$server" init
# A second init finds the schema up to date and leaves it as it is.
"$tool" --server "$server" init
echo 'teacher-a-password' | "$tool" --server "$server" add-teacher teacher_a
echo 'teacher-b-password' | "$tool" --server "$server" add-teacher teacher_b
"$tool" --server "$server" add-class 一班 --teacher teacher_a
"$tool" --server "$server" add-class 二班 --teacher teacher_b
"$tool" --server "$server" add-pupils 一班 "$data/class_one.csv" >/dev/null
"$tool" --server "$server" add-pupils 二班 "$data/class_two.csv" >/dev/null

# pgTAP is no trusted extension: only a superuser installs it. Its functions then run as whoever
# the test files act as.
psql -X -q -v ON_ERROR_STOP=1 -d "$TYPING_DRILL_TEST_SUPERUSER" -c 'CREATE EXTENSION pgtap'
# pg_prove takes a database name, not a connection string: the rest comes from PGHOST and PGPORT.
superuser=$(printf '%s\n' "$TYPING_DRILL_TEST_SUPERUSER" | sed -n 's/.*user=\([^ ]*\).*/\1/p')
exec pg_prove --verbose --failures -U "$superuser" "$pgtap"/*.sql
