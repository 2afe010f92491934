// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "host_rule_lexer.hpp"

#include <cstring>
#include <string>

#include "host_error_text.hpp"

namespace rclcpp {
namespace detail {

namespace {

bool is_alnum(char c)
{
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_alpha(char c)
{
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool starts_with(const char * text, const char * prefix)
{
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// A token is letters, digits and single underscores; a second underscore in a row ends
// it (after the first), and it never starts with a digit.
size_t token_length(const char * text, size_t start, bool after_underscore)
{
  size_t i = start;
  while (true) {
    if (is_alnum(text[i])) {
      after_underscore = false;
    } else if (text[i] == '_' && !after_underscore) {
      after_underscore = true;
    } else {
      return i;
    }
    ++i;
  }
}

}  // namespace

Lexeme analyze_lexeme(const char * text, size_t & length)
{
  length = 1;
  const char c = text[0];
  switch (c) {
    case '\0':
      length = 0;
      return Lexeme::Eof;
    case '/':
      return Lexeme::ForwardSlash;
    case '.':
      return Lexeme::Dot;
    case '\\':
      if (text[1] >= '1' && text[1] <= '9') {
        length = 2;
        return static_cast<Lexeme>(static_cast<int>(Lexeme::Backreference1) + (text[1] - '1'));
      }
      return Lexeme::None;
    case '~':
      if (text[1] == '/') {
        length = 2;
        return Lexeme::TildeSlash;
      }
      return Lexeme::None;
    case '*':
      if (text[1] == '*') {
        length = 2;
        return Lexeme::WildMulti;
      }
      return Lexeme::WildOne;
    case ':':
      if (text[1] == '=') {
        length = 2;
        return Lexeme::Separator;
      }
      return Lexeme::Colon;
    case '_':
      if (text[1] != '_') {
        length = token_length(text, 1, true);
        return Lexeme::Token;
      }
      if (starts_with(text, "__ns")) {
        length = 4;
        return Lexeme::Ns;
      }
      if (starts_with(text, "__node") || starts_with(text, "__name")) {
        length = 6;
        return Lexeme::Node;
      }
      return Lexeme::None;
    default:
      break;
  }
  if (!is_alpha(c)) {
    return Lexeme::None;
  }
  if (starts_with(text, "rostopic://")) {
    length = 11;
    return Lexeme::UrlTopic;
  }
  if (starts_with(text, "rosservice://")) {
    length = 13;
    return Lexeme::UrlService;
  }
  length = token_length(text, 1, false);
  return Lexeme::Token;
}

RuleLookahead::RuleLookahead(const std::string & text) : text_(text) {}

Lexeme RuleLookahead::peek() const
{
  size_t length = 0;
  return analyze_lexeme(text_.c_str() + index_, length);
}

Lexeme RuleLookahead::peek2() const
{
  size_t length = 0;
  const Lexeme first = analyze_lexeme(text_.c_str() + index_, length);
  if (first == Lexeme::None || first == Lexeme::Eof) {
    return first;
  }
  size_t second_length = 0;
  return analyze_lexeme(text_.c_str() + index_ + length, second_length);
}

std::string RuleLookahead::accept()
{
  size_t length = 0;
  analyze_lexeme(text_.c_str() + index_, length);
  const std::string lexeme_text = text_.substr(index_, length);
  index_ += length;
  return lexeme_text;
}

bool RuleLookahead::expect(Lexeme type, std::string * lexeme_text)
{
  const Lexeme next = peek();
  if (next != type) {
    const std::string expected = std::to_string(static_cast<int>(type));
    const std::string at = std::to_string(index_);
    if (next == Lexeme::None || next == Lexeme::Eof) {
      error_ = HOST_ERROR_TEXT(
          "Expected lexeme type (" + expected + ") not found, search ended at index " + at);
    } else {
      error_ = HOST_ERROR_TEXT(
          "Expected lexeme type " + expected + ", got " + std::to_string(static_cast<int>(next)) +
          " at index " + at);
    }
    return false;
  }
  const std::string consumed = accept();
  if (lexeme_text != nullptr) {
    *lexeme_text = consumed;
  }
  return true;
}

}  // namespace detail
}  // namespace rclcpp
