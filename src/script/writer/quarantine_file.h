// quarantine_1.sql of the result directory: rows set aside because their
// stored bytes cannot be what a server wrote. Comment lines only, so that
// nothing in it can reach a database, and no loader names it.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

// Appends one set-aside row: where it was, why, and what could be decoded
// (may be empty). The file is created at the first row, so that a run that
// sets nothing aside leaves none behind.
void WriteQuarantinedRow(const std::string& table, uint32_t page, uint32_t item, const char* reason,
                         const std::string& decoded);
// Closes the file, if one was made.
void CloseQuarantineFile();

// `text` as one comment line's worth: control characters become '?', so that
// no line break can end the comment and turn the rest into SQL.
std::string CommentText(const std::string& text);

}  // namespace vesk
