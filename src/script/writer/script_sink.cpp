#include "script/writer/script_sink.h"

#include "support/logger.h"
#include "support/recovery_run.h"

namespace vesk {
namespace {

// A call per row would cost more than the row's text; a few hundred
// kibibytes keep the calls rare and the buffer in cache.
constexpr size_t kBatch = size_t{256} << 10;

// The caller said stop: from here on the run behaves as if its break flag
// had been set, and the callback hears nothing more.
void Refuse(ScriptSink& sink) {
  sink.refused = true;
  sink.pending.clear();
  LogError("The script sink asked to stop: run stopped");
  static volatile unsigned char ownFlag = 0;
  if (Run().breakFlag == nullptr) Run().breakFlag = &ownFlag;
  *Run().breakFlag = 1;
}

void Send(ScriptSink& sink, int32_t kind, const std::string* text) {
  if (sink.callback == nullptr || sink.refused) return;
  VeskScriptPiece piece{};
  piece.size = sizeof piece;
  piece.kind = kind;
  piece.schema = sink.inTable ? sink.schema.c_str() : nullptr;
  piece.table = sink.inTable ? sink.table.c_str() : nullptr;
  if (text != nullptr && !text->empty()) {
    piece.text = text->data();
    piece.length = static_cast<int64_t>(text->size());
  }
  if (sink.callback(&piece, sink.user) != 0) Refuse(sink);
}

void SendPending(ScriptSink& sink) {
  if (sink.pending.empty()) return;
  Send(sink, sink.kind, &sink.pending);
  sink.pending.clear();
}

}  // namespace

ScriptSink& Sink() {
  static ScriptSink sink;
  return sink;
}

void BeginSink(ScriptSinkCallback callback, intptr_t user) {
  ScriptSink& sink = Sink();
  sink = ScriptSink{};
  sink.callback = callback;
  sink.user = user;
  if (callback != nullptr) sink.pending.reserve(kBatch + (kBatch >> 3));
}

void EndSink() {
  ScriptSink& sink = Sink();
  SendPending(sink);
  sink = ScriptSink{};
}

void SinkText(const char* text, size_t size) {
  ScriptSink& sink = Sink();
  if (sink.refused) return;
  sink.pending.append(text, size);
  if (sink.kind == VESK_PIECE_SQL && sink.pending.size() >= kBatch) SendPending(sink);
}

void SinkRowEnded() {
  ScriptSink& sink = Sink();
  if (sink.refused) {
    sink.pending.clear();
    return;
  }
  if (sink.pending.size() >= kBatch) SendPending(sink);
}

void SwitchPieceKind(int32_t kind) {
  ScriptSink& sink = Sink();
  if (sink.kind == kind) return;
  SendPending(sink);
  sink.kind = kind;
}

void SendMarker(int32_t kind) {
  ScriptSink& sink = Sink();
  SendPending(sink);
  Send(sink, kind, nullptr);
}

void SinkTableBegins(const char* schema, const char* table) {
  ScriptSink& sink = Sink();
  SendPending(sink);
  sink.schema = schema != nullptr ? schema : "";
  sink.table = table != nullptr ? table : "";
  sink.inTable = true;
  Send(sink, VESK_PIECE_TABLE_BEGIN, nullptr);
}

void SinkTableEnds() {
  ScriptSink& sink = Sink();
  if (!sink.inTable) return;
  SendPending(sink);
  Send(sink, VESK_PIECE_TABLE_END, nullptr);
  sink.inTable = false;
  sink.schema.clear();
  sink.table.clear();
}

}  // namespace vesk
