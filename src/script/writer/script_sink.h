// The script as a stream of pieces for a caller that loads it straight into
// a server (VeskOptions::scriptSink) instead of reading script files. Text
// collects in one buffer and goes to the callback when the kind of piece
// changes, when a table begins or ends, and in batches of whole rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vesk/veskdll.h"

namespace vesk {

struct ScriptSink {
  ScriptSinkCallback callback = nullptr;  // null: the script goes to files
  intptr_t user = 0;
  int32_t kind = VESK_PIECE_SQL;          // of the text in `pending`
  std::string pending;
  std::string schema;                     // of the table being written
  std::string table;
  bool inTable = false;
  bool refused = false;                   // the callback asked to stop
};

ScriptSink& Sink();
inline bool SinkActive() { return Sink().callback != nullptr; }

// Sends the script to `callback` from now on; a null callback turns it off.
void BeginSink(ScriptSinkCallback callback, intptr_t user);
// Sends what is pending and turns the sink off.
void EndSink();

// Adds text to the current piece. SQL is sent on once a batch has
// collected; rows wait for SinkRowEnded, so that a piece holds whole rows.
void SinkText(const char* text, size_t size);
// A row (or statement) built in `pending` is complete.
void SinkRowEnded();
// What follows is of `kind`; the text collected so far goes first.
void SwitchPieceKind(int32_t kind);
// The pieces that follow belong to this table, from TABLE_BEGIN to
// TABLE_END (both sent here). `schema` may be null (sent as empty).
void SinkTableBegins(const char* schema, const char* table);
void SinkTableEnds();
// A piece without text (TABLE_BEGIN, TABLE_END), after what is pending.
void SendMarker(int32_t kind);

}  // namespace vesk
