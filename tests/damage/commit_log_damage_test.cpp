// Row visibility on the whole-cluster fixtures, whose `visibility` database
// holds rows that only the commit log can judge, and on copies of them whose
// commit log is missing, cut short, garbled or another cluster's.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/packed_fixture.h"
#include "damage/damage_harness.h"
#include "support/temp_dir.h"

namespace vesk::damage {
namespace {

namespace fs = std::filesystem;

const char kVis[] = "\"public\".\"vis\"";
const char kVisSub[] = "\"public\".\"vis_sub\"";
const char kVisBig[] = "\"public\".\"vis_big\"";
const char kKept[] = "\"public\".\"kept\"";
const char kGhost[] = "\"public\".\"ghost\"";

std::string DatabaseOid(const std::string& cluster, const std::string& name) {
  std::ifstream in(cluster + "/expected/databases.tsv");
  for (std::string db, oid, rest; std::getline(in, db, '\t') && std::getline(in, oid, '\t');) {
    std::getline(in, rest);
    if (db == name) return oid;
  }
  return {};
}

bool AnyHolds(const std::vector<std::string>& statements, const std::string& text) {
  for (const std::string& s : statements) {
    if (s.find(text) != std::string::npos) return true;
  }
  return false;
}

class ClusterVisibility : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    cluster_ = testing::PackedFixture(GetParam());
    if (cluster_.empty()) GTEST_SKIP() << "fixture " << GetParam() << " not available";
    oid_ = DatabaseOid(cluster_, "visibility");
    ASSERT_FALSE(oid_.empty());
  }
  // The database with the cluster files it needs, laid out as in a cluster.
  std::string CopyCluster(const std::string& label, const std::string& clogFrom = {}) {
    const std::string root = work_ / label;
    CopyDirectory(cluster_ + "/base/" + oid_, root + "/base/" + oid_);
    CopyDirectory((clogFrom.empty() ? cluster_ : clogFrom) + "/pg_clog", root + "/pg_clog");
    CopyDirectory(cluster_ + "/pg_subtrans", root + "/pg_subtrans");
    return root;
  }
  Recovery RecoverCopy(const std::string& root) { return RecoverDirectory(root + "/base/" + oid_, work_.path()); }

  std::string cluster_;
  std::string oid_;
  testing::TempDir work_;
  testing::ScopedTmpDir tmp_{work_.path()};
};

TEST_P(ClusterVisibility, RowsAreThoseTheServerShowed) {
  const Recovery run = RecoverDirectory(cluster_ + "/base/" + oid_, work_.path());
  ASSERT_EQ(run.status, 0);
  EXPECT_NE(run.log.find("row visibility: hint bits, then the commit log"), std::string::npos);
  ASSERT_EQ(run.InsertCount(kVis), 5u);
  const std::vector<std::string>& vis = run.inserts.at(kVis);
  for (const char* value : {"'one'", "'two'", "'three'", "'five updated'", "'six'"}) {
    EXPECT_TRUE(AnyHolds(vis, value)) << value;
  }
  EXPECT_FALSE(AnyHolds(vis, "rolled back"));
  EXPECT_EQ(run.InsertCount(kVisSub), 2u);
  EXPECT_EQ(run.InsertCount(kVisBig), 10u);
  EXPECT_EQ(run.InsertCount(kKept), 2u);
  EXPECT_EQ(run.inserts.count(kGhost), 0u);
  EXPECT_EQ(run.log.find("judged by their hint bits alone"), std::string::npos);
}

// Each damage leaves the hint bits to decide: the rows are those of a run
// without any commit log, and the log says why.
struct Damage {
  const char* name;
  void (*apply)(const std::string& root, const std::string& otherCluster);
  const char* logLine;
};

const Damage kDamages[] = {
    {"SegmentMissing", [](const std::string& root, const std::string&) { fs::remove(root + "/pg_clog/0000"); },
     "Segment 0000 of "},
    {"SegmentCutShort", [](const std::string& root, const std::string&) { fs::resize_file(root + "/pg_clog/0000", 24); },
     "judged by their hint bits alone"},
    {"SegmentGarbled",
     [](const std::string& root, const std::string&) { OverwriteRandom(root + "/pg_clog/0000", 0, 0, 4096, 11); },
     "contradicts the hint bits of pg_class"},
    {"AnotherClustersLog",
     [](const std::string& root, const std::string& other) {
       fs::remove_all(root + "/pg_clog");
       CopyDirectory(other + "/pg_clog", root + "/pg_clog");
     },
     "contradicts the hint bits of pg_class"},
};

TEST_P(ClusterVisibility, DamagedLogFallsBackToHintBits) {
  const std::string bare = CopyCluster("bare");
  fs::remove_all(bare + "/pg_clog");
  const Recovery hintsOnly = RecoverCopy(bare);
  ASSERT_EQ(hintsOnly.status, 0);
  EXPECT_NE(hintsOnly.log.find("Row visibility from hint bits only"), std::string::npos);
  EXPECT_NE(hintsOnly.log.find("row visibility: hint bits only"), std::string::npos);

  const std::string other = testing::PackedFixture(std::string(GetParam()) == "cluster83" ? "cluster82" : "cluster83");
  for (const Damage& damage : kDamages) {
    SCOPED_TRACE(damage.name);
    if (std::string(damage.name) == "AnotherClustersLog" && other.empty()) continue;
    const std::string root = CopyCluster(damage.name);
    damage.apply(root, other);
    const Recovery run = RecoverCopy(root);
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(run.hung);
    EXPECT_NE(run.log.find(damage.logLine), std::string::npos);
    EXPECT_TRUE(MissingStatements(hintsOnly, run).empty());
    EXPECT_TRUE(MissingStatements(run, hintsOnly).empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Clusters, ClusterVisibility, ::testing::Values("cluster82", "cluster83"),
                         [](const ::testing::TestParamInfo<const char*>& p) { return std::string(p.param); });

}  // namespace
}  // namespace vesk::damage
