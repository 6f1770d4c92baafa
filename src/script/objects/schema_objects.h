// What the script holds besides tables and rows, written once every table's
// rows are in, in the order pg_dump gives them: the objects that shape the
// columns and their values first, then keys, checks and indexes, foreign keys
// last so that the order the rows arrive in never matters. Each object is a
// statement of its own: one that fails on load costs only itself.
#pragma once

namespace vesk {

// Everything below, as VeskOptions::schemaObjects asks (nothing for
// VESK_OBJECTS_NONE).
void WriteSchemaObjects();

// Sequences with their values and owners, column defaults, NOT NULL and
// inheritance links.
void WriteColumnObjects();
// Primary keys, unique and check constraints, indexes, then foreign keys,
// and the list of views that cannot be rebuilt as SQL.
void WriteConstraintObjects();

}  // namespace vesk
