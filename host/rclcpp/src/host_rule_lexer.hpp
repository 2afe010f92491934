// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Lexer with two lexemes of lookahead for remap, parameter and log level rules. Lexeme
// kinds, their numbers and the error texts are those of the ROS 2 C layer, because the
// numbers appear in the texts users see.

#ifndef HOST_RULE_LEXER_HPP_
#define HOST_RULE_LEXER_HPP_

#include <cstddef>
#include <string>

namespace rclcpp {
namespace detail {

enum class Lexeme {
  None = 0,
  Eof = 1,
  TildeSlash = 2,
  UrlService = 3,
  UrlTopic = 4,
  Colon = 5,
  Node = 6,
  Ns = 7,
  Separator = 8,
  Backreference1 = 9,
  Backreference9 = 17,
  Token = 18,
  ForwardSlash = 19,
  WildOne = 20,
  WildMulti = 21,
  Dot = 22,
};

/// Kind and length of the lexeme that starts @p text.
Lexeme analyze_lexeme(const char * text, size_t & length);

/// Reads a rule lexeme by lexeme. `error()` holds the text of the last failed expect()
/// (empty when none), located like the C layer's error state.
class RuleLookahead
{
public:
  explicit RuleLookahead(const std::string & text);

  Lexeme peek() const;
  /// The lexeme after the next one (Eof/None repeat the first).
  Lexeme peek2() const;
  /// Consumes the next lexeme; returns its text.
  std::string accept();
  /// Consumes the next lexeme if it is @p type; else records the error and returns false.
  bool expect(Lexeme type, std::string * lexeme_text = nullptr);

  /// Index of the next unread character.
  size_t index() const
  {
    return index_;
  }
  /// Text from index() to the end.
  std::string rest() const
  {
    return text_.substr(index_);
  }
  const std::string & text() const
  {
    return text_;
  }
  const std::string & error() const
  {
    return error_;
  }
  void set_error(const std::string & located_text)
  {
    error_ = located_text;
  }
  void reset_error()
  {
    error_.clear();
  }

private:
  std::string text_;
  size_t index_ = 0;
  std::string error_;
};

}  // namespace detail
}  // namespace rclcpp

#endif  // HOST_RULE_LEXER_HPP_
