// What the script holds besides tables and rows, written once every table's
// rows are in, in the order pg_dump gives them: the objects that shape the
// columns and their values first, then keys, checks and indexes, foreign keys
// last so that the order the rows arrive in never matters. Each object is a
// statement of its own: one that fails on load costs only itself.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

class DefinedObjects;

// Everything below, as VeskOptions::schemaObjects asks (nothing for
// VESK_OBJECTS_NONE); for a script of rows only, the sequences' values alone.
void WriteSchemaObjects();

// Sequences with their values and owners, column defaults, NOT NULL and
// inheritance links.
void WriteColumnObjects(const DefinedObjects& objects);
// Primary keys, unique and check constraints, then the indexes no key makes
// (nothing for VESK_OBJECTS_NO_CONSTRAINTS or data only).
void WriteConstraintObjects(const DefinedObjects& objects);
// ALTER TABLE ... INHERIT for each pg_inherits link between two tables the
// script created, each child's parents in their order. After the
// constraints: a current server attaches a child only when it has the
// parent's check constraints, which 8.x copied into every child.
void WriteInheritanceLinks(const DefinedObjects& objects);

// Records that Pass 2 defined table `oid` (`schema` empty: none known), so
// that the objects after the data may refer to it.
void NoteDefinedTable(uint32_t oid, const std::string& schema, const char* table);
// Foreign keys, after every other object, so that the order the rows were
// loaded in never matters (nothing where WriteConstraintObjects writes none).
void WriteForeignKeys(const DefinedObjects& objects);
// Each view of the user schemas by name in a comment, with its columns and
// their types: its definition is a node tree no current server reads.
void WriteViewList(const DefinedObjects& objects);

}  // namespace vesk
