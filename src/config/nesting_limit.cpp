#include "config/nesting_limit.h"

#include <cstring>

namespace bu {
namespace {

const char kCommentStart[] = "--";
const char kCDataStart[] = "[CDATA[";

}  // namespace

void NestingScanner::feed(const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) step(data[i]);
}

void NestingScanner::step(char c) {
  switch (state_) {
    case State::Text:
      if (c == '<') state_ = State::Open;
      break;
    case State::Open:
      if (c == '/') {
        state_ = State::EndTag;
      } else if (c == '!') {
        state_ = State::Bang;
        bangLength_ = 0;
      } else if (c == '?') {
        state_ = State::Pi;
        trail_ = 0;
      } else {
        state_ = State::StartTag;
        if (++depth_ > deepest_) deepest_ = depth_;
      }
      break;
    case State::StartTag:
      if (c == '"' || c == '\'') {
        quote_ = c;
        state_ = State::Quoted;
      } else if (c == '>') {
        if (previous_ == '/') --depth_;  // <empty/> opens no level
        state_ = State::Text;
      }
      break;
    case State::Quoted:
      if (c == quote_) state_ = State::StartTag;
      break;
    case State::EndTag:
      if (c == '>') {
        if (depth_ > 0) --depth_;
        state_ = State::Text;
      }
      break;
    case State::Bang:
      bang_[bangLength_++] = c;
      if (bangLength_ == 2 && std::memcmp(bang_, kCommentStart, 2) == 0) {
        state_ = State::Comment;
        trail_ = 0;
      } else if (bangLength_ == 7 && std::memcmp(bang_, kCDataStart, 7) == 0) {
        state_ = State::CData;
        trail_ = 0;
      } else if (std::memcmp(bang_, kCDataStart, bangLength_) != 0 &&
                 std::memcmp(bang_, kCommentStart, bangLength_ < 2 ? bangLength_ : 2) != 0) {
        state_ = c == '>' ? State::Text : State::Other;  // <!DOCTYPE ...> and the like
      }
      break;
    case State::Comment:  // until "-->"
      if (c == '>' && trail_ >= 2) {
        state_ = State::Text;
      } else {
        trail_ = c == '-' ? trail_ + 1 : 0;
      }
      break;
    case State::CData:  // until "]]>"
      if (c == '>' && trail_ >= 2) {
        state_ = State::Text;
      } else {
        trail_ = c == ']' ? trail_ + 1 : 0;
      }
      break;
    case State::Pi:  // until "?>"
      if (c == '>' && trail_ >= 1) {
        state_ = State::Text;
      } else {
        trail_ = c == '?' ? 1 : 0;
      }
      break;
    case State::Other:
      if (c == '>') state_ = State::Text;
      break;
  }
  previous_ = c;
}

bool nestingWithinLimit(std::FILE* file) {
  NestingScanner scanner;
  char buffer[64 * 1024];
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
    scanner.feed(buffer, got);
    if (scanner.deepest() > kMaxElementNesting) return false;
    if (got < sizeof buffer) break;
  }
  const bool readWhole = std::ferror(file) == 0;
  std::rewind(file);
  return readWhole;
}

}  // namespace bu
