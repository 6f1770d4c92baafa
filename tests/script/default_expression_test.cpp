// A column default's stored text against what it depends on: stale names of
// renamed relations, names the script spells otherwise, and names that mean
// nothing the script creates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/objects/default_expression.h"

namespace vesk {
namespace {

NamedRelation Rel(uint32_t oid, const char* schema, const char* relname, const char* scriptName) {
  return {oid, schema, relname, scriptName};
}

TEST(DefaultExpression, RegclassConstantsMeanWhatTheDefaultDependsOn) {
  const NamedRelation foo = Rel(10, "public", "serialtest_f2_foo", "\"public\".\"serialtest_f2_foo\"");
  const NamedRelation ins = Rel(11, "public", "insert_seq", "\"public\".\"insert_seq\"");
  const NamedRelation odd = Rel(12, "Mixed Schema", "Odd \"Q\".s", "\"Mixed Schema\".\"Odd \"\"Q\"\".s\"");
  const NamedRelation lost = Rel(13, "public", "lost_seq", "");
  const NamedRelation other = Rel(14, "public", "other_seq", "\"public\".\"other_seq\"");
  struct Case {
    const char* what;
    const char* source;
    std::vector<NamedRelation> dependsOn;
    const char* text;  // null: a problem
    bool stale;
  };
  const Case cases[] = {
      {"no relation named", "('now'::text)::date", {}, "('now'::text)::date", false},
      {"a quote inside another constant", "'a''::regclass'::text", {}, "'a''::regclass'::text", false},
      {"serial, qualified by the script", "nextval('serialtest_f2_foo'::regclass)", {foo},
       "nextval('\"public\".\"serialtest_f2_foo\"'::regclass)", false},
      {"sequence renamed since", "nextval('serialtest_f2_seq'::regclass)", {foo},
       "nextval('\"public\".\"serialtest_f2_foo\"'::regclass)", true},
      {"one sequence named twice", "((-1) * currval('insert_seq'::regclass)) + nextval('insert_seq'::regclass)",
       {ins},
       "((-1) * currval('\"public\".\"insert_seq\"'::regclass)) + nextval('\"public\".\"insert_seq\"'::regclass)",
       false},
      {"two sequences, each by its name", "nextval('insert_seq'::regclass) + nextval('public.other_seq'::regclass)",
       {other, ins}, "nextval('\"public\".\"insert_seq\"'::regclass) + nextval('\"public\".\"other_seq\"'::regclass)",
       false},
      {"quoted, qualified name", "nextval('\"Mixed Schema\".\"Odd \"\"Q\"\".s\"'::regclass)", {odd},
       "nextval('\"Mixed Schema\".\"Odd \"\"Q\"\".s\"'::regclass)", false},
      {"two stale names, two candidates", "nextval('a'::regclass) + nextval('b'::regclass)", {ins, other},
       nullptr, false},
      {"sequence the script lacks", "nextval('lost_seq'::regclass)", {lost}, nullptr, false},
      {"no dependency, found by name", "nextval('insert_seq'::regclass)", {}, "nextval('\"public\".\"insert_seq\"'::regclass)",
       false},
      {"no dependency, nothing by that name", "nextval('gone'::regclass)", {}, nullptr, false},
      {"no dependency, two by that name", "nextval('twice'::regclass)", {}, nullptr, false},
      {"unterminated constant left alone", "nextval('x", {}, "nextval('x", false},
  };
  const RelationsByName byName = [&](const std::string& schema, const std::string& name) {
    std::vector<NamedRelation> found;
    if (name == "insert_seq" && (schema.empty() || schema == "public")) found.push_back(ins);
    if (name == "twice") found = {ins, other};
    return found;
  };
  for (const Case& c : cases) {
    const CheckedDefault checked = CheckDefaultExpression(c.source, c.dependsOn, byName);
    if (c.text == nullptr) {
      EXPECT_FALSE(checked.problem.empty()) << c.what << ": " << checked.text;
      continue;
    }
    EXPECT_EQ(checked.problem, "") << c.what;
    EXPECT_EQ(checked.text, c.text) << c.what;
    EXPECT_EQ(checked.stale, c.stale) << c.what;
  }
}

TEST(DefaultExpression, QualifiedNamesSplitAsTheServerReadsThem) {
  struct Case {
    const char* text;
    bool ok;
    const char* schema;
    const char* name;
  };
  const Case cases[] = {
      {"seq", true, "", "seq"},
      {"Public.SEQ", true, "public", "seq"},
      {"\"A.b\".\"c\"\"d\"", true, "A.b", "c\"d"},
      {"a.b.c", false, "", ""},
      {"a.", false, "", ""},
      {".a", false, "", ""},
      {"\"open", false, "", ""},
      {"\"q\"x", false, "", ""},
      {"", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string schema, name;
    EXPECT_EQ(SplitQualifiedName(c.text, schema, name), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(schema, c.schema) << c.text;
    EXPECT_EQ(name, c.name) << c.text;
  }
}

}  // namespace
}  // namespace vesk
