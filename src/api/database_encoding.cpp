#include "api/database_encoding.h"

#include <cstring>

#include "support/encoding_names.h"
#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

const char* ForcedEncoding() {
  const char* name = Run().options.encoding;
  return name != nullptr && name[0] != '\0' ? CanonicalEncodingName(name) : nullptr;
}

// The declaration for a stored encoding number; null when none can be made.
const char* DeclaredFor(uint8_t version, int32_t number) {
  if (number < 0) {
    Log("Encoding of the database unknown: no encoding declared in the script");
    return nullptr;
  }
  const char* name = EncodingName(version, number);
  if (name == nullptr) {
    LogFormat("Unknown encoding number %d in pg_database: no encoding declared in the script", number);
    return nullptr;
  }
  if (number == kEncodingSqlAscii) {
    // The server never checked these bytes; UTF8 loads anywhere, and what is
    // not UTF-8 is kept byte for byte as LATIN1 characters.
    Log("Encoding SQL_ASCII: the text is unchecked bytes; declared as UTF8, a value that is not valid "
        "UTF-8 is read as LATIN1 (name the real encoding with the encoding option)");
    return "UTF8";
  }
  LogValue("Encoding:", name);
  return name;
}

}  // namespace

void SettleEncoding(uint8_t version, int32_t number) {
  DatabaseSettings& settings = Run().settings;
  settings.encoding = number;
  settings.encodingSource = number >= 0 ? SettingSource::kCatalog : SettingSource::kDefault;
  const char* declared = nullptr;
  if (const char* forced = ForcedEncoding()) {
    declared = forced;
    settings.encodingSource = SettingSource::kForced;
    LogValue("Encoding (forced):", forced);
  } else {
    declared = DeclaredFor(version, number);
  }
  settings.clientEncoding = declared;
  settings.repairUtf8 = declared != nullptr && std::strcmp(declared, "UTF8") == 0;
}

const char* CreationEncoding() {
  const char* declared = Run().settings.clientEncoding;
  if (declared == nullptr) return nullptr;
  return EncodingNumber(83, declared) >= 0 ? declared : "UTF8";
}

}  // namespace vesk
