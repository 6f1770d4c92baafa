// Cuts SQL text that arrives in pieces into single statements, as the
// server's lexer would: a semicolon ends a statement only outside quoted
// text ('...', E'...', "...", $tag$...$tag$) and comments (--, nested /* */).
// Sending statements one by one lets one failing statement cost only itself.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace vesk::frontend {

class StatementSplitter {
 public:
  // A complete statement: from its first word (leading blanks and comments
  // dropped) to just before its semicolon. Valid during the call only.
  using Sink = std::function<void(std::string_view statement)>;

  // Takes the next piece of text; calls `sink` for each statement it ends.
  void Feed(std::string_view text, const Sink& sink);
  // Ends the text: an unterminated last statement is passed on unless it is
  // only blanks and comments. The splitter is then ready for new text.
  void Finish(const Sink& sink);

 private:
  enum class State {
    kCode,
    kDash,          // one '-' seen in code
    kLineComment,
    kSlash,         // one '/' seen in code
    kBlockComment,
    kBlockStar,     // '*' inside a block comment
    kBlockSlash,    // '/' inside a block comment
    kString,        // '...' without backslash escapes
    kEString,       // E'...' with backslash escapes
    kEStringBackslash,
    kEStringQuote,
    kIdentifier,    // "..."
    kDollarTag,     // reading $tag$ after a '$' that may open a dollar quote
    kDollarBody,
  };

  void Take(char c, const Sink& sink);
  void TakeCode(char c, const Sink& sink);
  void TakeDollarTag(char c, const Sink& sink);
  void MarkContent(size_t at);
  void Remember(char c);
  void EndComment();
  void CloseQuoted(char last);
  void EndStatement(const Sink& sink);
  void Reset();

  State state_ = State::kCode;
  std::string text_;         // the statement so far (comments before its first
                             // word until that word shows)
  bool content_ = false;     // text_ holds more than blanks and comments
  size_t start_ = 0;         // where the first word begins in text_
  int commentDepth_ = 0;
  char previous_ = '\0';     // the last code character, for E'...' and a$b
  char beforePrevious_ = '\0';
  std::string tag_;          // the dollar quote's tag, with both '$'
  size_t tagMatch_ = 0;      // characters of tag_ matched inside the body
};

}  // namespace vesk::frontend
