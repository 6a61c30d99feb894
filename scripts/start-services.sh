#!/usr/bin/env bash
# Starts the servers the tests talk to; each step does nothing when its server already runs.
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

PortAnswers() {
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

WaitForPort() {
    local port=$1 name=$2
    for _ in $(seq 1 100); do
        PortAnswers "$port" && return 0
        sleep 0.2
    done
    echo "$name does not answer on 127.0.0.1:$port" >&2
    return 1
}

# Firebird server on 127.0.0.1:3050, kept alive by its guardian.
if ! PortAnswers 3050; then
    $SUDO mkdir -p /run/firebird3.0
    $SUDO chown firebird:firebird /run/firebird3.0
    $SUDO su -s /bin/sh firebird -c '/usr/sbin/fbguard -daemon -forever'
    WaitForPort 3050 "Firebird"
fi

# PostgreSQL 15 with the test role and database.
if ! pg_lsclusters -h 2>/dev/null | grep -q '^15 \+main '; then
    $SUDO pg_createcluster 15 main
fi
if ! pg_lsclusters -h | grep -q '^15 \+main .* online'; then
    $SUDO pg_ctlcluster 15 main start
fi
WaitForPort 5432 "PostgreSQL"

Psql() {
    $SUDO su postgres -c "psql -X -q -t -A -v ON_ERROR_STOP=1 -c \"$1\""
}
if [ "$(Psql "select 1 from pg_roles where rolname = 'corvane_test'")" != "1" ]; then
    Psql "create role corvane_test login password 'corvane_test'"
fi
if [ "$(Psql "select 1 from pg_database where datname = 'corvane_test'")" != "1" ]; then
    Psql "create database corvane_test owner corvane_test encoding 'UTF8' template template0"
fi

# MariaDB on 127.0.0.1:3306 as an ODBC source ("Driver=MariaDB Unicode"). The test user
# corvane_test (password corvane_test) owns the database corvane_test and may make databases
# named corvane_test_*, one per test fixture; root logs in through the local socket.
if ! PortAnswers 3306; then
    $SUDO mkdir -p /run/mysqld
    $SUDO chown mysql:mysql /run/mysqld
    $SUDO sh -c 'mysqld_safe --user=mysql --bind-address=127.0.0.1 --port=3306 >/dev/null 2>&1 &'
    WaitForPort 3306 "MariaDB"
fi
$SUDO mariadb -u root <<'SQL'
create database if not exists corvane_test character set utf8mb4;
create user if not exists 'corvane_test'@'localhost' identified by 'corvane_test';
create user if not exists 'corvane_test'@'127.0.0.1' identified by 'corvane_test';
grant all on `corvane\_test%`.* to 'corvane_test'@'localhost';
grant all on `corvane\_test%`.* to 'corvane_test'@'127.0.0.1';
SQL
