#include "statement_splitter.h"

namespace vesk::frontend {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// A character that continues a name: then a following '$' belongs to the
// name (a$b) and opens no dollar quote, and E'...' is not an escape string.
bool IsNameCharacter(char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == '$'; }

}  // namespace

void StatementSplitter::Feed(std::string_view text, const Sink& sink) {
  for (char c : text) Take(c, sink);
}

void StatementSplitter::Finish(const Sink& sink) {
  EndStatement(sink);
  state_ = State::kCode;
}

void StatementSplitter::Reset() {
  text_.clear();
  content_ = false;
  previous_ = '\0';
  beforePrevious_ = '\0';
}

void StatementSplitter::EndStatement(const Sink& sink) {
  if (content_) {
    size_t end = text_.size();
    while (end > start_ && IsBlank(text_[end - 1])) --end;
    sink(std::string_view(text_).substr(start_, end - start_));
  }
  Reset();
}

void StatementSplitter::MarkContent(size_t at) {
  if (content_) return;
  content_ = true;
  start_ = at;
}

void StatementSplitter::Remember(char c) {
  beforePrevious_ = previous_;
  previous_ = c;
}

void StatementSplitter::Take(char c, const Sink& sink) {
  // Blanks before a statement's first word are not kept; comments are kept
  // until the first word shows where the statement begins.
  if (state_ != State::kCode || content_ || !IsBlank(c)) text_ += c;
  switch (state_) {
    case State::kCode:
      TakeCode(c, sink);
      break;
    case State::kDash:
      if (c == '-') {
        state_ = State::kLineComment;
      } else {
        MarkContent(text_.size() - 2);
        Remember('-');
        state_ = State::kCode;
        TakeCode(c, sink);
      }
      break;
    case State::kLineComment:
      if (c == '\n') EndComment();
      break;
    case State::kSlash:
      if (c == '*') {
        state_ = State::kBlockComment;
        commentDepth_ = 1;
      } else {
        MarkContent(text_.size() - 2);
        Remember('/');
        state_ = State::kCode;
        TakeCode(c, sink);
      }
      break;
    case State::kBlockComment:
      if (c == '*') state_ = State::kBlockStar;
      if (c == '/') state_ = State::kBlockSlash;
      break;
    case State::kBlockStar:
      if (c == '/') {
        if (--commentDepth_ == 0) {
          EndComment();
        } else {
          state_ = State::kBlockComment;
        }
      } else if (c != '*') {
        state_ = State::kBlockComment;
      }
      break;
    case State::kBlockSlash:
      if (c == '*') {
        ++commentDepth_;
        state_ = State::kBlockComment;
      } else if (c != '/') {
        state_ = State::kBlockComment;
      }
      break;
    case State::kString:
      // A doubled quote closes the string and opens the next at once, which
      // the code state does as well.
      if (c == '\'') CloseQuoted('\'');
      break;
    case State::kEString:
      if (c == '\\') state_ = State::kEStringBackslash;
      if (c == '\'') state_ = State::kEStringQuote;
      break;
    case State::kEStringBackslash:
      state_ = State::kEString;
      break;
    case State::kEStringQuote:
      if (c == '\'') {
        state_ = State::kEString;  // '' inside E'...'
      } else {
        CloseQuoted('\'');
        TakeCode(c, sink);
      }
      break;
    case State::kIdentifier:
      if (c == '"') CloseQuoted('"');
      break;
    case State::kDollarTag:
      TakeDollarTag(c, sink);
      break;
    case State::kDollarBody:
      if (c == tag_[tagMatch_]) {
        if (++tagMatch_ == tag_.size()) CloseQuoted('$');
      } else {
        // The tag holds '$' only at its ends, so a failed match can only
        // begin again at this character.
        tagMatch_ = c == '$' ? 1 : 0;
      }
      break;
  }
}

void StatementSplitter::EndComment() {
  state_ = State::kCode;
  // A comment separates words as a blank does.
  Remember(' ');
  if (!content_) text_.clear();
}

void StatementSplitter::CloseQuoted(char last) {
  state_ = State::kCode;
  Remember(last);
}

void StatementSplitter::TakeCode(char c, const Sink& sink) {
  if (IsBlank(c)) {
    Remember(' ');
    return;
  }
  switch (c) {
    case ';':
      text_.pop_back();
      EndStatement(sink);
      return;
    case '-':
      state_ = State::kDash;
      return;
    case '/':
      state_ = State::kSlash;
      return;
    default:
      break;
  }
  MarkContent(text_.size() - 1);
  if (c == '\'') {
    const bool escapes = (previous_ == 'E' || previous_ == 'e') && !IsNameCharacter(beforePrevious_);
    state_ = escapes ? State::kEString : State::kString;
  } else if (c == '"') {
    state_ = State::kIdentifier;
  } else if (c == '$' && !IsNameCharacter(previous_)) {
    state_ = State::kDollarTag;
    tag_ = "$";
    return;
  }
  Remember(c);
}

void StatementSplitter::TakeDollarTag(char c, const Sink& sink) {
  if (c == '$') {
    tag_ += '$';
    tagMatch_ = 0;
    state_ = State::kDollarBody;
    return;
  }
  const bool first = tag_.size() == 1;
  if (IsLetter(c) || (!first && c >= '0' && c <= '9')) {
    tag_ += c;
    return;
  }
  // Not a dollar quote after all ($1, or a lone '$'): plain code.
  state_ = State::kCode;
  Remember('$');
  TakeCode(c, sink);
}

}  // namespace vesk::frontend
