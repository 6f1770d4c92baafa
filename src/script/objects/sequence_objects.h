// The user's sequences: their definitions, the values that make the next
// nextval give what the application would have got, and the columns that
// own them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/sequence_row.h"
#include "script/objects/defined_objects.h"

namespace vesk {

class pg_depend_Table;

struct ScriptSequence {
  uint32_t oid = 0;
  std::string schema;
  std::string relname;
  std::string name;  // "schema"."name"
  SequenceState state;
  bool readable = false;  // its row was read: the script creates it
};

// Every sequence in a schema the script creates, its row read; -1000 in
// `status` when stopped.
std::vector<ScriptSequence> FindSequences(const DefinedObjects& objects, int32_t& status);

// One CREATE SEQUENCE each (or a comment for a sequence whose row is lost).
void WriteSequenceDefinitions(const std::vector<ScriptSequence>& sequences);
// One setval each.
void WriteSequenceValues(const std::vector<ScriptSequence>& sequences);
// ALTER SEQUENCE ... OWNED BY for each sequence a written column owns.
void WriteSequenceOwners(const std::vector<ScriptSequence>& sequences, const pg_depend_Table& depend,
                         const DefinedObjects& objects);

// The statements themselves, for the writers above.
std::string SequenceDefinition(const std::string& name, const SequenceState& state);
std::string SequenceValue(const std::string& name, const SequenceState& state);

}  // namespace vesk
