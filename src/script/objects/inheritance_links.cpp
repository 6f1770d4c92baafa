#include <string>

#include "catalog/pg_inherits_table.h"
#include "script/objects/defined_objects.h"
#include "script/objects/schema_objects.h"
#include "script/writer/script_writer.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {

// Each child was created with its own column order, which its rows follow;
// attaching it afterwards keeps that order, where INHERITS in the
// definition would put the parent's columns first.
void WriteInheritanceLinks(const DefinedObjects& objects) {
  pg_inherits_Table inherits(Run().version);
  if (inherits.ReadLinks() != 0) return;
  bool any = false;
  for (const InheritanceLink& link : inherits.OrderedLinks()) {
    const std::string* child = objects.TableName(link.inhrelid);
    const std::string* parent = objects.TableName(link.inhparent);
    if (child == nullptr || parent == nullptr) {
      LogFormat("Inheritance link %u -> %u between tables the script does not create, skipped", link.inhrelid,
                link.inhparent);
      continue;
    }
    WriteScriptText(("ALTER TABLE " + *child + " INHERIT " + *parent + ";\n").c_str());
    any = true;
  }
  if (any) WriteScriptText("\n");
}

}  // namespace vesk
