#include "damage/damage_harness.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "common/sql_literal_scan.h"
#include "vesk/veskdll.h"

namespace vesk::damage {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Sets the break byte once `limit` has passed, unless cancelled first.
class Watchdog {
 public:
  Watchdog(volatile unsigned char* flag, std::chrono::seconds limit)
      : thread_([this, flag, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
            fired_ = true;
            *flag = 1;
          }
        }) {}
  ~Watchdog() { Finish(); }
  bool Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finished_ = true;
    }
    done_.notify_all();
    if (thread_.joinable()) thread_.join();
    return fired_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  bool fired_ = false;
  std::thread thread_;
};

std::string ScriptOf(const std::string& resultDir) {
  std::string script;
  for (int n = 1;; ++n) {
    std::string file = resultDir + "/recovered_" + std::to_string(n) + ".sql";
    if (!fs::exists(file)) break;
    script += ReadText(file);
  }
  return script;
}

uint16_t U16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}
size_t HeaderSize(int version) { return version == 83 ? 24 : 20; }

}  // namespace

size_t Recovery::InsertCount(const std::string& table) const {
  auto it = inserts.find(table);
  return it == inserts.end() ? 0 : it->second.size();
}

size_t Recovery::TotalInserts() const {
  size_t n = 0;
  for (const auto& [table, rows] : inserts) n += rows.size();
  return n;
}

namespace {

std::string Quoted(const char* name) {
  std::string out = "\"";
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c == '"') out += '"';
    out += *c;
  }
  return out + "\"";
}

void VESK_CALL CollectReport(const VeskTableReport* report, intptr_t user) {
  auto* reports = reinterpret_cast<std::map<std::string, TableCounts>*>(user);
  TableCounts& counts = (*reports)[Quoted(report->schema) + "." + Quoted(report->table)];
  counts = {report->rowsWritten, report->rowsQuarantined, report->valuesNulled, report->pagesRead,
            report->pagesSkipped, report->problem != nullptr ? report->problem : ""};
}

}  // namespace

std::vector<std::string> InventedStatements(const Recovery& expected, const Recovery& actual) {
  // A row is known by its first value (the synthetic and fixture tables
  // damaged here begin with a unique number): a known row whose other
  // values were damaged is a damaged row, not a made-up one.
  auto key = [](const std::string& statement) {
    size_t values = statement.find(" VALUES (");
    return statement.substr(0, statement.find_first_of(",)", values));
  };
  std::set<std::string> known;
  for (const auto& [table, rows] : expected.inserts) {
    for (const std::string& row : rows) known.insert(key(row));
  }
  std::vector<std::string> invented;
  for (const auto& [table, rows] : actual.inserts) {
    for (const std::string& row : rows) {
      if (known.count(key(row)) == 0) invented.push_back(row);
    }
  }
  return invented;
}

Recovery RecoverDirectory(const std::string& databaseDir, const std::string& workDir, int limitSeconds,
                          const VeskOptions* options, bool extended) {
  static int runNumber = 0;
  const std::string tag = std::to_string(++runNumber);
  const std::string out = workDir + "/out-" + tag;
  const std::string log = workDir + "/log-" + tag + ".txt";
  fs::create_directories(out);
  const fs::path cwd = fs::current_path();
  static volatile unsigned char breakByte = 0;
  SetBreakFlag(&breakByte);

  Recovery result;
  {
    Watchdog watchdog(&breakByte, std::chrono::seconds(limitSeconds));
    const std::string path = databaseDir + "/1259";
    if (options != nullptr || extended) {
      VeskOptions taken{};
      if (options != nullptr) {
        taken = *options;
      } else {
        taken.size = sizeof taken;
        taken.version = VESK_OPTIONS_VERSION;
      }
      taken.tableReport = CollectReport;
      result.status = FileRecoverEx(path.c_str(), (out + "/").c_str(), nullptr, nullptr,
                                    reinterpret_cast<intptr_t>(&result.reports), log.c_str(), &taken);
    } else {
      result.status = FileRecover(path.c_str(), (out + "/").c_str(), 0, nullptr, nullptr, 0, log.c_str());
    }
    result.hung = watchdog.Finish();
  }
  fs::current_path(cwd);
  result.log = ReadText(log);
  for (const auto& entry : fs::directory_iterator(out)) {
    result.resultDirectoryMade = true;
    result.inserts = SplitInserts(ScriptOf(entry.path()));
    result.quarantine = ReadText((entry.path() / "quarantine_1.sql").string());
  }
  return result;
}

std::map<std::string, std::vector<std::string>> SplitInserts(const std::string& script) {
  std::map<std::string, std::vector<std::string>> out;
  static const std::string kHead = "INSERT INTO ";
  size_t start = 0;
  for (size_t i = 0; i < script.size(); ++i) {
    if (script[i] == '\'') {
      i = testing::SkipSqlLiteral(script, i);
    } else if (script[i] == '-' && i + 1 < script.size() && script[i + 1] == '-' && i == start) {
      i = script.find('\n', i);
      if (i == std::string::npos) break;
      start = i + 1;
    } else if (script[i] == '\n' && i == start) {
      start = i + 1;
    } else if (script[i] == ';') {
      std::string statement = script.substr(start, i + 1 - start);
      start = i + 1;
      if (start < script.size() && script[start] == '\n') ++i, ++start;
      if (statement.rfind(kHead, 0) != 0) continue;
      size_t values = statement.find(" VALUES (");
      out[statement.substr(kHead.size(), values - kHead.size())].push_back(statement);
    }
  }
  for (auto& [table, rows] : out) std::sort(rows.begin(), rows.end());
  return out;
}

std::vector<std::string> MissingStatements(const Recovery& expected, const Recovery& actual) {
  std::vector<std::string> missing;
  for (const auto& [table, rows] : expected.inserts) {
    auto it = actual.inserts.find(table);
    const std::vector<std::string> none;
    const std::vector<std::string>& have = it == actual.inserts.end() ? none : it->second;
    std::set_difference(rows.begin(), rows.end(), have.begin(), have.end(), std::back_inserter(missing));
  }
  return missing;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::string text = ReadText(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void CopyDirectory(const std::string& from, const std::string& to) {
  fs::create_directories(to);
  fs::copy(from, to, fs::copy_options::overwrite_existing | fs::copy_options::recursive);
  for (const auto& entry : fs::recursive_directory_iterator(to)) {
    fs::permissions(entry.path(), fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
  }
}

size_t PageCountOf(const std::string& path) { return (fs::file_size(path) + kPage - 1) / kPage; }

void ZeroPage(const std::string& path, size_t page) {
  std::vector<uint8_t> b = ReadBytes(path);
  size_t end = std::min(b.size(), (page + 1) * kPage);
  if (page * kPage < end) std::fill(b.begin() + static_cast<std::ptrdiff_t>(page * kPage), b.begin() + static_cast<std::ptrdiff_t>(end), 0);
  WriteBytes(path, b);
}

void OverwriteRandom(const std::string& path, size_t page, size_t from, size_t length, uint32_t seed) {
  std::vector<uint8_t> b = ReadBytes(path);
  std::mt19937 random(seed);
  for (size_t i = page * kPage + from; i < std::min(b.size(), page * kPage + from + length); ++i) {
    b[i] = static_cast<uint8_t>(random());
  }
  WriteBytes(path, b);
}

std::vector<uint32_t> LinePointers(const std::vector<uint8_t>& file, size_t page, int version) {
  std::vector<uint32_t> words;
  const size_t base = page * kPage;
  if (base + kPage > file.size()) return words;
  const size_t lower = U16(file, base + 12);
  for (size_t at = HeaderSize(version); at + 4 <= std::min<size_t>(lower, kPage); at += 4) {
    words.push_back(U32(file, base + at));
  }
  return words;
}

size_t TupleOffset(const std::vector<uint8_t>& file, size_t page, size_t item, int version) {
  return page * kPage + (LinePointers(file, page, version).at(item) & 0x7FFF);
}

void SetLinePointer(const std::string& path, size_t page, size_t item, int version, uint32_t word) {
  std::vector<uint8_t> b = ReadBytes(path);
  std::memcpy(b.data() + page * kPage + HeaderSize(version) + 4 * item, &word, 4);
  WriteBytes(path, b);
}

void ForEachTuple(const std::vector<uint8_t>& file, int version,
                  const std::function<void(size_t tupleAt, uint8_t hoff)>& visit) {
  const size_t hoffAt = version == 83 ? 22 : 26;
  for (size_t page = 0; (page + 1) * kPage <= file.size(); ++page) {
    for (uint32_t word : LinePointers(file, page, version)) {
      const size_t off = word & 0x7FFF, len = word >> 17;
      if (len == 0 || off + len > kPage) continue;
      visit(page * kPage + off, file[page * kPage + off + hoffAt]);
    }
  }
}

}  // namespace vesk::damage
