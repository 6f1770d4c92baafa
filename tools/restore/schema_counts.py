#!/usr/bin/env python3
"""Counts the schema objects of two databases side by side.

usage: schema_counts.py [--port 5415] [--host /tmp] [--user USER] DB_A DB_B

For the user schemas of each database (everything but pg_catalog,
information_schema, pg_toast and the temporary schemas) prints the number of
NOT NULL columns, column defaults, sequences, primary keys, unique, check and
foreign key constraints, indexes and inheritance links, one line per kind,
and marks the kinds whose counts differ. Exit status 1 when any differs.

Meant for a database restored from a recovered script beside the original's
pg_dump loaded into the same server (roundtrip.py --keep leaves both,
as exp_<tag> and rec_<tag>). The user defaults to $PGUSER, else to the one
roundtrip.py makes its server for (vesktest when run as root, else you).
"""
import argparse
import getpass
import os
import subprocess
import sys

USER_SCHEMAS = ("n.nspname NOT IN ('pg_catalog', 'information_schema', 'pg_toast') "
                "AND n.nspname NOT LIKE 'pg\\_temp\\_%' AND n.nspname NOT LIKE 'pg\\_toast\\_temp\\_%'")

COUNTS = [
    ("not null columns",
     "SELECT count(*) FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
     "JOIN pg_namespace n ON n.oid = c.relnamespace "
     "WHERE c.relkind = 'r' AND a.attnum > 0 AND NOT a.attisdropped AND a.attnotnull AND " + USER_SCHEMAS),
    ("defaults",
     "SELECT count(*) FROM pg_attrdef d JOIN pg_class c ON c.oid = d.adrelid "
     "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE " + USER_SCHEMAS),
    ("sequences",
     "SELECT count(*) FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
     "WHERE c.relkind = 'S' AND " + USER_SCHEMAS),
] + [
    (label,
     "SELECT count(*) FROM pg_constraint k JOIN pg_class c ON c.oid = k.conrelid "
     "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE k.contype = '%s' AND %s" % (kind, USER_SCHEMAS))
    for label, kind in (("primary keys", "p"), ("unique constraints", "u"), ("check constraints", "c"),
                        ("foreign keys", "f"))
] + [
    ("indexes",
     "SELECT count(*) FROM pg_index i JOIN pg_class c ON c.oid = i.indrelid "
     "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE " + USER_SCHEMAS),
    ("inheritance links",
     "SELECT count(*) FROM pg_inherits h JOIN pg_class c ON c.oid = h.inhrelid "
     "JOIN pg_namespace n ON n.oid = c.relnamespace WHERE " + USER_SCHEMAS),
]


def count(args, db, sql):
    cmd = ["psql", "-h", args.host, "-p", str(args.port), "-U", args.user, "-X", "-At", "-d", db, "-c", sql]
    p = subprocess.run(cmd, capture_output=True, text=True)
    if p.returncode != 0:
        raise SystemExit(f"psql failed on {db}: {p.stderr.strip()[:300]}")
    return int(p.stdout.strip() or 0)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("db_a")
    ap.add_argument("db_b")
    ap.add_argument("--port", type=int, default=5415)
    ap.add_argument("--host", default="/tmp")
    ap.add_argument("--user", default=os.environ.get("PGUSER") or ("vesktest" if os.geteuid() == 0 else getpass.getuser()))
    args = ap.parse_args()
    width = max(len(label) for label, _ in COUNTS)
    print(f"{'':{width}}  {args.db_a:>12}  {args.db_b:>12}")
    differ = False
    for label, sql in COUNTS:
        a, b = count(args, args.db_a, sql), count(args, args.db_b, sql)
        mark = "" if a == b else "  <- differs"
        differ = differ or a != b
        print(f"{label:{width}}  {a:>12}  {b:>12}{mark}")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
