#include "api/server_build.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "api/driver.h"
#include "catalog/catalog_readers.h"
#include "catalog/recovered_table.h"
#include "catalog/static_descriptors.h"
#include "platform/platform.h"
#include "storage/control_file.h"
#include "storage/page_probe.h"
#include "support/logger.h"
#include "support/recovery_run.h"
#include "vesk/veskdll.h"

namespace vesk {
namespace {

// Catalogs whose first pages are read for layout marks and tuple-header
// padding. pg_namespace and pg_index rows are padded differently by 4- and
// 8-byte servers in both layouts, so even a fresh database gives votes.
struct ProbedFile {
  const char* name;
  uint32_t pages;
};
constexpr ProbedFile kProbedFiles[] = {{"1259", 64}, {"1249", 16}, {"1247", 8}, {"2615", 4}, {"2610", 8}};

// Both layouts have this many pg_class columns; 8.0, 8.1 and 8.4 do not.
constexpr int16_t kClassColumns = 27;

bool IsReadableLayout(uint8_t layout) { return layout == 82 || layout == 83; }

std::string LayoutName(uint8_t layout) {
  if (layout == 0) return "none";
  if (layout == 1) return "unknown";
  return std::to_string(layout / 10) + "." + std::to_string(layout % 10);
}

std::string ReadVersionFile() {
  std::FILE* f = std::fopen((Run().databaseDirectory + "PG_VERSION").c_str(), "rb");
  if (f == nullptr) return {};
  char text[16] = {};
  const size_t got = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  return std::string(text, got);
}

// The database directory is base/<oid>/ of its cluster.
std::string ControlFilePath() {
  const char sep = platform::kPathSeparator;
  return Run().databaseDirectory + ".." + sep + ".." + sep + "global" + sep + "pg_control";
}

void LogProbe(const PageProbe& p) {
  LogFormat("Page headers: %u pages, layout 3 (8.2) on %u, layout 4 (8.3) on %u, another layout on %u, "
            "another page size on %u, byte-swapped %u",
            p.pages, p.layout3, p.layout4, p.otherLayout, p.otherSize, p.byteSwapped);
  LogFormat("Tuple header padding: %u as a 4-byte alignment pads, %u as an 8-byte one", p.align4, p.align8);
}

void LogControlFile(const ControlFile& c) {
  if (c.status == ControlFileStatus::kMissing) {
    Log("Control file: none");
    return;
  }
  if (c.version == 0) {
    LogFormat("Control file: %s (%s); ignored", ControlFileStatusText(c.status), c.problem.c_str());
    return;
  }
  LogFormat("Control file: pg_control_version %u, catalog version %u, maxAlign %u, floatFormat %.1f, blcksz %u, "
            "relseg_size %u, nameDataLen %u, toast_max_chunk_size %u, enableIntTimes %u, time_t of %u bytes",
            c.version, c.catalogVersion, c.maxAlign, c.floatFormat, c.blockSize, c.segmentPages, c.nameDataLen,
            c.toastMaxChunkSize, c.integerDatetimes ? 1u : 0u, c.timeWidth);
  if (c.status != ControlFileStatus::kValid) {
    LogFormat("Control file: %s (%s)", ControlFileStatusText(c.status), c.problem.c_str());
  }
}

// Whether pg_class decodes in `layout` as the server's own catalog: its
// row for itself is there, an ordinary table with the columns 8.2 and 8.3
// give it.
bool ClassCatalogReadable(uint8_t layout) {
  pg_class_Table classes("1259", layout);
  FillStaticColumns(classes.reader().columns, StaticCatalog::kPgClass);
  if (classes.reader().ReadTable() != 0) return false;
  for (size_t i = 0; i < classes.reader().RowCount(); ++i) {
    const auto* row = static_cast<const RecoveredTable*>(classes.reader().RowAt(i));
    if (std::strcmp(row->relname, "pg_class") == 0 && row->relkind == 'r') return row->relnatts == kClassColumns;
  }
  return false;
}

struct Evidence {
  PageProbe probe;
  uint8_t pages = 0;
  uint8_t versionFile = 0;
  ControlFile control;
};

Evidence Gather() {
  Evidence e;
  for (const ProbedFile& file : kProbedFiles) {
    ProbeRelationFile(Run().databaseDirectory + file.name, file.pages, e.probe);
  }
  e.pages = PageLayout(e.probe);
  const std::string versionText = ReadVersionFile();
  e.versionFile = VersionFileLayout(versionText.c_str());
  e.control = ReadControlFile(ControlFilePath());
  LogProbe(e.probe);
  LogFormat("PG_VERSION: %s", versionText.empty() ? "none" : LayoutName(e.versionFile).c_str());
  LogControlFile(e.control);
  return e;
}

uint8_t ControlFileLayout(const ControlFile& c) {
  if (c.status != ControlFileStatus::kValid) return 0;
  return c.version == 822 ? 82 : 83;
}

// Big-endian pages, other page sizes: nothing of them can be decoded.
// A control file that says so counts only when no page says otherwise.
bool RefuseBuild(const Evidence& e) {
  const PageProbe& p = e.probe;
  const uint32_t readable = p.layout3 + p.layout4;
  if (p.byteSwapped > readable) {
    LogError("The pages were written by a big-endian server; they cannot be read");
    return true;
  }
  if (p.otherSize > readable) {
    LogFormat("[ERROR]: The pages are %u bytes; only 8192-byte pages can be read", p.lastOtherSize);
    return true;
  }
  const ControlFileStatus cs = e.control.status;
  if ((cs == ControlFileStatus::kByteSwapped || cs == ControlFileStatus::kUnsupported) && readable == 0) {
    LogFormat("[ERROR]: The control file says the server build cannot be read: %s", e.control.problem.c_str());
    return true;
  }
  return false;
}

// A server version other than 8.2 or 8.3 is read only when its pg_class
// really decodes in one of the two layouts.
uint8_t LayoutOfUnknownVersion(const Evidence& e) {
  LogFormat("Server version: page layout %s, PG_VERSION %s: not 8.2 or 8.3", LayoutName(e.pages).c_str(),
            LayoutName(e.versionFile).c_str());
  const uint8_t hint = IsReadableLayout(e.pages) ? e.pages : IsReadableLayout(e.versionFile) ? e.versionFile : 0;
  for (uint8_t layout : {uint8_t{82}, uint8_t{83}}) {
    if (hint != 0 && layout != hint) continue;
    if (ClassCatalogReadable(layout)) {
      LogFormat("The catalogs decode in the %s layout; reading them so", LayoutName(layout).c_str());
      return layout;
    }
  }
  LogError("Unsupported server version: the catalogs do not decode in the 8.2 or 8.3 layout");
  return 0;
}

uint8_t DecideLayout(const Evidence& e) {
  const uint8_t pages = e.pages;
  const uint8_t file = e.versionFile;
  if (IsReadableLayout(pages) && (file == 0 || file == pages)) {
    Log(file == pages ? "Layout: page headers and PG_VERSION agree" : "Layout: from the page headers");
    return pages;
  }
  if (pages == 0 && IsReadableLayout(file)) {
    Log("Layout: from PG_VERSION (no marked pages)");
    return file;
  }
  const uint8_t control = ControlFileLayout(e.control);
  if (pages == 0 && file == 0 && control != 0) {
    Log("Layout: from the control file (no marked pages, no PG_VERSION)");
    return control;
  }
  if (IsReadableLayout(pages) && IsReadableLayout(file)) {
    LogFormat("Layout: the page headers say %s, PG_VERSION says %s; deciding by the catalogs",
              LayoutName(pages).c_str(), LayoutName(file).c_str());
    return DetectVersion();
  }
  if (pages == 0 && file == 0) {
    Log("Layout: no page marks and no PG_VERSION; deciding by the catalogs");
    return DetectVersion();
  }
  return LayoutOfUnknownVersion(e);
}

// The control file counts only when it belongs to these files: the same
// layout, and the alignment the tuple headers show.
bool ControlFileFits(const ControlFile& c, uint8_t layout, uint32_t headerAlign) {
  if (c.status != ControlFileStatus::kValid) return false;
  if (ControlFileLayout(c) != layout) {
    LogFormat("Control file: written by %s, the database is %s; ignored",
              LayoutName(ControlFileLayout(c)).c_str(), LayoutName(layout).c_str());
    return false;
  }
  if (headerAlign != 0 && headerAlign != c.maxAlign) {
    LogFormat("Control file: maxAlign %u, the tuple headers show %u; ignored as another cluster's",
              c.maxAlign, headerAlign);
    return false;
  }
  return true;
}

void TakeControlFile(const ControlFile& c) {
  DatabaseSettings& s = Run().settings;
  if (s.alignSource != SettingSource::kForced) {
    s.maxAlign = s.doubleAlign = c.maxAlign;
    s.alignSource = SettingSource::kControlFile;
  } else if (s.maxAlign != c.maxAlign) {
    LogFormat("[WARNING]: Forced alignment %u contradicts the control file's maxAlign %u; the forced value is used",
              s.maxAlign, c.maxAlign);
  }
  if (s.datetimeSource != SettingSource::kForced) {
    s.integerDatetimes = c.integerDatetimes;
    s.datetimeSource = SettingSource::kControlFile;
  }
  s.toastMaxChunkSize = c.toastMaxChunkSize;
  s.segmentPages = c.segmentPages;
}

void TakeHeaderAlignment(uint32_t headerAlign) {
  DatabaseSettings& s = Run().settings;
  if (s.alignSource == SettingSource::kForced) {
    if (headerAlign != 0 && headerAlign != s.maxAlign) {
      LogFormat("[WARNING]: Forced alignment %u contradicts the tuple headers, which show %u; the forced value is used",
                s.maxAlign, headerAlign);
      SendMessage("Warning: the forced alignment contradicts the data (see the log)");
    }
    return;
  }
  if (headerAlign == 0) return;
  s.maxAlign = s.doubleAlign = headerAlign;
  s.alignSource = SettingSource::kDetected;
}

}  // namespace

void AnnounceServerBuild() {
  const uint8_t layout = Run().version;
  const DatabaseSettings& s = Run().settings;
  LogFormat("Settings: layout %s, maxAlign %u (%s), doubleAlign %u, date/time storage %s (%s), "
            "toast_max_chunk_size %u, segment pages %u",
            LayoutName(layout).c_str(), s.maxAlign, SettingSourceName(s.alignSource), s.doubleAlign,
            s.integerDatetimes ? "integer" : "float", SettingSourceName(s.datetimeSource), s.toastMaxChunkSize,
            s.segmentPages);
  char text[200];
  std::snprintf(text, sizeof text, "Server build: %s, alignment %u (%s), date/time storage %s (%s)",
                LayoutName(layout).c_str(), s.maxAlign, SettingSourceName(s.alignSource),
                s.integerDatetimes ? "integer" : "float", SettingSourceName(s.datetimeSource));
  SendMessage(text);
}

uint8_t VersionFileLayout(const char* text) {
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  if (!std::isdigit(static_cast<unsigned char>(p[0])) || p[1] != '.' ||
      !std::isdigit(static_cast<unsigned char>(p[2]))) {
    return 0;
  }
  // "8.2" but also "9.0", "10": only the first digits matter here.
  if (std::isdigit(static_cast<unsigned char>(p[3]))) return 1;
  return static_cast<uint8_t>((p[0] - '0') * 10 + (p[2] - '0'));
}

uint8_t PageLayout(const PageProbe& p) {
  if (p.layout3 == 0 && p.layout4 == 0 && p.otherLayout == 0) return 0;
  if (p.layout3 > p.layout4 && p.layout3 > p.otherLayout) return 82;
  if (p.layout4 > p.layout3 && p.layout4 > p.otherLayout) return 83;
  return 1;
}

uint32_t AlignmentFromHeaders(const PageProbe& p) {
  const uint32_t total = p.align4 + p.align8;
  // A few damaged tuples must not tip it; a real mix means no answer.
  if (total == 0) return 0;
  if (p.align4 * 10 >= total * 9) return 4;
  if (p.align8 * 10 >= total * 9) return 8;
  return 0;
}

// Not one page carries a mark any server writes, and neither PG_VERSION nor
// the control file speaks for the directory: whatever it holds, it is no
// database.
bool NoServerEvidence(const Evidence& e) {
  const PageProbe& p = e.probe;
  return p.layout3 + p.layout4 + p.otherLayout + p.otherSize + p.byteSwapped == 0 && e.versionFile == 0 &&
         e.control.status != ControlFileStatus::kValid;
}

int32_t SettleServerBuild() {
  Log("Version of base:");
  const Evidence e = Gather();
  // The old entry point's callers get the run they always had.
  if (NoServerEvidence(e) && Run().extendedStatus) {
    Log("No page carries the mark of a PostgreSQL server: not a PostgreSQL 8.2/8.3 database directory");
    Run().notADatabase = true;
    return VESK_NOT_A_DATABASE;
  }
  if (RefuseBuild(e)) {
    SendMessage("Unsupported server build (see the log)");
    return VESK_UNSUPPORTED_BUILD;
  }
  const uint8_t layout = DecideLayout(e);
  if (layout == 0) {
    SendMessage("Unsupported server version (see the log)");
    return VESK_UNSUPPORTED_BUILD;
  }
  Log(layout == 83 ? "PostgreSQL 8.3" : "PostgreSQL 8.2");
  Run().version = layout;
  const uint32_t headerAlign = AlignmentFromHeaders(e.probe);
  if (ControlFileFits(e.control, layout, headerAlign)) {
    TakeControlFile(e.control);
    if (Run().settings.alignSource == SettingSource::kForced) TakeHeaderAlignment(headerAlign);
  } else {
    TakeHeaderAlignment(headerAlign);
  }
  return 0;
}

}  // namespace vesk
