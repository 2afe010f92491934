// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "host_argument_rules.hpp"

#include <rcutils/allocator.h>
#include <rcutils/logging.h>
#include <rcutils/logging_macros.h>

#include <string>
#include <vector>

#include "host_error_text.hpp"
#include "host_rule_lexer.hpp"
#include "host_yaml_parameters.hpp"

namespace rclcpp {
namespace detail {

namespace {

// Logger of the C layer, whose warnings these are.
const char kLoggerName[] = "rcl";

[[noreturn]] void fail(const RuleLookahead & lexer)
{
  throw RuleError(lexer.error().empty() ? std::string("error not set") : lexer.error());
}

void require(RuleLookahead & lexer, Lexeme type)
{
  if (!lexer.expect(type)) {
    fail(lexer);
  }
}

bool is_backreference(Lexeme lexeme)
{
  return static_cast<int>(lexeme) >= static_cast<int>(Lexeme::Backreference1) &&
         static_cast<int>(lexeme) <= static_cast<int>(Lexeme::Backreference9);
}

// One segment of a name on the matching side, or of a parameter name.
void reject_wildcard(RuleLookahead & lexer, Lexeme lexeme)
{
  if (lexeme == Lexeme::WildOne) {
    lexer.set_error(HOST_ERROR_TEXT("Wildcard '*' is not implemented"));
  } else if (lexeme == Lexeme::WildMulti) {
    lexer.set_error(HOST_ERROR_TEXT("Wildcard '**' is not implemented"));
  } else {
    lexer.set_error(HOST_ERROR_TEXT("Expecting token or wildcard"));
  }
  fail(lexer);
}

void match_token(RuleLookahead & lexer)
{
  const Lexeme next = lexer.peek();
  if (next != Lexeme::Token) {
    reject_wildcard(lexer, next);
  }
  lexer.accept();
}

void replacement_token(RuleLookahead & lexer)
{
  const Lexeme next = lexer.peek();
  if (is_backreference(next)) {
    lexer.set_error(HOST_ERROR_TEXT("Backreferences are not implemented"));
    fail(lexer);
  }
  if (next != Lexeme::Token) {
    fail(lexer);
  }
  lexer.accept();
}

void accept_name_start(RuleLookahead & lexer)
{
  const Lexeme next = lexer.peek();
  if (next == Lexeme::TildeSlash || next == Lexeme::ForwardSlash) {
    lexer.accept();
  }
}

void parse_node_name_replacement(RuleLookahead & lexer, RemapRule & rule)
{
  require(lexer, Lexeme::Node);
  require(lexer, Lexeme::Separator);
  if (!lexer.expect(Lexeme::Token, &rule.to)) {
    RCUTILS_LOG_WARN_NAMED(
        kLoggerName, "Node name not remapped to invalid name: '%s'", lexer.rest().c_str());
    fail(lexer);
  }
  rule.kind = RemapRule::Kind::NodeName;
}

void parse_namespace_replacement(RuleLookahead & lexer, RemapRule & rule)
{
  require(lexer, Lexeme::Ns);
  require(lexer, Lexeme::Separator);
  const size_t start = lexer.index();
  const std::string found = lexer.rest();
  bool fully_qualified = lexer.expect(Lexeme::ForwardSlash);
  if (fully_qualified) {
    // Tokens separated by slashes; a trailing slash is accepted.
    while (lexer.expect(Lexeme::Token) && lexer.expect(Lexeme::ForwardSlash)) {
    }
    lexer.reset_error();
    fully_qualified = lexer.expect(Lexeme::Eof);
  }
  if (!fully_qualified) {
    RCUTILS_LOG_WARN_NAMED(
        kLoggerName, "Namespace not remapped to a fully qualified name (found: %s)", found.c_str());
    fail(lexer);
  }
  rule.kind = RemapRule::Kind::Namespace;
  rule.to = lexer.text().substr(start);
}

void parse_name_remap(RuleLookahead & lexer, RemapRule & rule)
{
  rule.kind = RemapRule::Kind::TopicOrService;
  if (lexer.peek() == Lexeme::UrlService) {
    rule.kind = RemapRule::Kind::Service;
    lexer.accept();
  } else if (lexer.peek() == Lexeme::UrlTopic) {
    rule.kind = RemapRule::Kind::Topic;
    lexer.accept();
  }
  const size_t from_start = lexer.index();
  accept_name_start(lexer);
  match_token(lexer);
  while (lexer.peek() != Lexeme::Separator) {
    require(lexer, Lexeme::ForwardSlash);
    match_token(lexer);
  }
  rule.from = lexer.text().substr(from_start, lexer.index() - from_start);
  require(lexer, Lexeme::Separator);
  const size_t to_start = lexer.index();
  accept_name_start(lexer);
  replacement_token(lexer);
  while (lexer.peek() != Lexeme::Eof) {
    require(lexer, Lexeme::ForwardSlash);
    replacement_token(lexer);
  }
  rule.to = lexer.text().substr(to_start);
}

// Optional `node:` prefix; the two-lexeme lookahead tells it from `name:=`.
std::string node_prefix(RuleLookahead & lexer)
{
  if (lexer.peek() == Lexeme::Token && lexer.peek2() == Lexeme::Colon) {
    const std::string node = lexer.accept();
    lexer.accept();
    return node;
  }
  return "";
}

// Parameter names are slash-joined tokens separated by dots.
void parameter_name_part(RuleLookahead & lexer)
{
  Lexeme next = lexer.peek();
  if (next != Lexeme::Token && next != Lexeme::ForwardSlash) {
    reject_wildcard(lexer, next);
  }
  do {
    lexer.accept();
    next = lexer.peek();
  } while (next == Lexeme::Token || next == Lexeme::ForwardSlash);
}

}  // namespace

RemapRule parse_remap_rule(const std::string & text)
{
  RuleLookahead lexer(text);
  RemapRule rule{};
  rule.node_name = node_prefix(lexer);
  const Lexeme next = lexer.peek();
  if (next == Lexeme::Node) {
    parse_node_name_replacement(lexer, rule);
  } else if (next == Lexeme::Ns) {
    parse_namespace_replacement(lexer, rule);
  } else {
    parse_name_remap(lexer, rule);
  }
  require(lexer, Lexeme::Eof);
  return rule;
}

void parse_parameter_rule(const std::string & text, std::vector<ParameterOverrideRule> & rules)
{
  RuleLookahead lexer(text);
  std::string node_key = node_prefix(lexer);
  if (node_key.empty()) {
    node_key = "/**";
  }
  const size_t name_start = lexer.index();
  parameter_name_part(lexer);
  while (lexer.peek() != Lexeme::Separator) {
    require(lexer, Lexeme::Dot);
    parameter_name_part(lexer);
  }
  const std::string name = text.substr(name_start, lexer.index() - name_start);
  require(lexer, Lexeme::Separator);
  const std::string value_text = lexer.rest();
  if (value_text.empty()) {
    throw RuleError("error not set");
  }
  rules.push_back({node_key, name, parse_yaml_parameter_value(value_text)});
}

LogLevelRule parse_log_level_rule(const std::string & text)
{
  LogLevelRule rule;
  std::string severity_text = text;
  const size_t separator = text.find(":=");
  if (separator != std::string::npos) {
    rule.logger_name = text.substr(0, separator);
    if (rule.logger_name.empty()) {
      throw RuleError(HOST_ERROR_TEXT("Argument has an invalid logger item that name is empty"));
    }
    RuleLookahead lexer(text.substr(separator + 2));
    std::string token;
    if (!lexer.expect(Lexeme::Token, &token) || !lexer.expect(Lexeme::Eof)) {
      fail(lexer);
    }
    severity_text = token;
  }
  int severity = 0;
  if (rcutils_logging_severity_level_from_string(
          severity_text.c_str(), rcutils_get_default_allocator(), &severity) != RCUTILS_RET_OK) {
    rcutils_reset_error();
    throw RuleError(HOST_ERROR_TEXT("Argument does not use a valid severity level"));
  }
  rule.severity = g_rcutils_log_severity_names[severity];
  return rule;
}

}  // namespace detail
}  // namespace rclcpp
