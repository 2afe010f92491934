// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/detail/host_names.hpp"

#include <string>

namespace rclcpp {
namespace detail {

namespace {

bool is_alnum(char c)
{
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool is_digit(char c)
{
  return c >= '0' && c <= '9';
}

NameCheck fault(const char * error, size_t index)
{
  return NameCheck{error, index};
}

// Character-level scan of the input rules: allowed characters, the tilde position and
// balanced, flat, well-formed substitutions.
NameCheck check_input_characters(const std::string & name)
{
  bool in_braces = false;
  size_t open_index = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (is_alnum(c)) {
      if (is_digit(c) && in_braces && i == open_index + 1) {
        return fault("substitution name must not start with a number", i);
      }
    } else if (c == '_') {
    } else if (c == '/') {
      if (in_braces) {
        return fault(
            "substitution name must not contain characters other than alphanumerics or '_'", i);
      }
    } else if (c == '~') {
      if (i != 0) {
        return fault("topic name must not have tilde '~' unless it is the first character", i);
      }
    } else if (c == '{') {
      if (in_braces) {
        return fault(
            "substitution name must not contain characters other than alphanumerics or '_'", i);
      }
      in_braces = true;
      open_index = i;
    } else if (c == '}') {
      if (!in_braces) {
        return fault("topic name must not have unmatched (unbalanced) curly braces '{}'", i);
      }
      in_braces = false;
    } else if (in_braces) {
      return fault(
          "substitution name must not contain characters other than alphanumerics or '_'", i);
    } else {
      return fault(
          "topic name must not contain characters other than alphanumerics, '_', '~', '{', or '}'",
          i);
    }
  }
  if (in_braces) {
    return fault("topic name must not have unmatched (unbalanced) curly braces '{}'", open_index);
  }
  return NameCheck{};
}

// Faults of a fully qualified name, in the order they are looked for.
struct FullNameFault
{
  enum class Kind {
    None,
    Empty,
    NotAbsolute,
    EndsWithSlash,
    BadCharacter,
    RepeatedSlash,
    TokenStartsWithDigit,
    TooLong
  };
  Kind fault = Kind::None;
  size_t index = 0;
};

// Indexed by FullNameFault::Kind.
const char * const kTopicFaultMessages[] = {
    nullptr,
    "topic name must not be empty",
    "topic name must be absolute, it must lead with a '/'",
    "topic name must not end with a '/'",
    "topic name must not contain characters other than alphanumerics, '_', or '/'",
    "topic name must not contain repeated '/'",
    "topic name must not have a token that starts with a number",
    // The limit is printed as the C macro expression that defines it.
    "topic length should not exceed '255U - 8U'",
};

const char * const kNamespaceFaultMessages[] = {
    nullptr,
    "namespace must not be empty",
    "namespace must be absolute, it must lead with a '/'",
    "namespace must not end with a '/', unless only a '/'",
    "namespace must not contain characters other than alphanumerics, '_', or '/'",
    "namespace must not contain repeated '/'",
    "namespace must not have a token that starts with a number",
    nullptr,
};

FullNameFault find_full_name_fault(const std::string & name)
{
  using Kind = FullNameFault::Kind;
  if (name.empty()) {
    return {Kind::Empty, 0};
  }
  if (name[0] != '/') {
    return {Kind::NotAbsolute, 0};
  }
  if (name.back() == '/') {
    return {Kind::EndsWithSlash, name.size() - 1};
  }
  for (size_t i = 0; i < name.size(); ++i) {
    if (!is_alnum(name[i]) && name[i] != '_' && name[i] != '/') {
      return {Kind::BadCharacter, i};
    }
  }
  for (size_t i = 0; i + 1 < name.size(); ++i) {
    if (name[i] == '/' && name[i + 1] == '/') {
      return {Kind::RepeatedSlash, i + 1};
    }
    if (name[i] == '/' && is_digit(name[i + 1])) {
      return {Kind::TokenStartsWithDigit, i + 1};
    }
  }
  if (name.size() > kTopicMaxNameLength) {
    return {Kind::TooLong, kTopicMaxNameLength - 1};
  }
  return {};
}

void replace_all(std::string & text, const std::string & from, const std::string & to)
{
  for (size_t pos = text.find(from); pos != std::string::npos;
       pos = text.find(from, pos + to.size())) {
    text.replace(pos, from.size(), to);
  }
}

}  // namespace

NameCheck check_topic_name_input(const std::string & name)
{
  if (name.empty()) {
    return fault("topic name must not be empty string", 0);
  }
  if (is_digit(name[0])) {
    return fault("topic name token must not start with a number", 0);
  }
  if (name.back() == '/') {
    return fault("topic name must not end with a forward slash", name.size() - 1);
  }
  const NameCheck characters = check_input_characters(name);
  if (!characters.valid()) {
    return characters;
  }
  // The last character is never looked at here, so a two-character `~x` passes, as it
  // does in the C layer.
  for (size_t i = 0; i + 1 < name.size(); ++i) {
    if (name[i] == '/') {
      if (is_digit(name[i + 1])) {
        return fault("topic name token must not start with a number", i + 1);
      }
    } else if (i == 1 && name[0] == '~') {
      return fault(
          "topic name must not have a tilde '~' that is not followed by a forward slash '/'", 1);
    }
  }
  return NameCheck{};
}

NameCheck check_full_topic_name(const std::string & name)
{
  const FullNameFault found = find_full_name_fault(name);
  if (found.fault == FullNameFault::Kind::None) {
    return NameCheck{};
  }
  return NameCheck{kTopicFaultMessages[static_cast<int>(found.fault)], found.index};
}

NameCheck check_node_name(const std::string & name)
{
  if (name.empty()) {
    return fault("node name must not be empty", 0);
  }
  for (size_t i = 0; i < name.size(); ++i) {
    if (!is_alnum(name[i]) && name[i] != '_') {
      return fault("node name must not contain characters other than alphanumerics or '_'", i);
    }
  }
  if (is_digit(name[0])) {
    return fault("node name must not start with a number", 0);
  }
  if (name.size() > kNodeNameMaxLength) {
    return fault("node name length should not exceed '255'", kNodeNameMaxLength - 1);
  }
  return NameCheck{};
}

NameCheck check_namespace(const std::string & namespace_)
{
  if (namespace_ == "/") {
    return NameCheck{};
  }
  const FullNameFault found = find_full_name_fault(namespace_);
  if (found.fault != FullNameFault::Kind::None && found.fault != FullNameFault::Kind::TooLong) {
    return NameCheck{kNamespaceFaultMessages[static_cast<int>(found.fault)], found.index};
  }
  if (namespace_.size() > kNamespaceMaxLength) {
    // The C layer prints the name of an undefined macro here.
    return fault(
        "namespace should not exceed 'RMW_NAMESPACE_MAX_NAME_LENGTH'", kNamespaceMaxLength - 1);
  }
  return NameCheck{};
}

ExpandStatus expand_topic_name(
    const std::string & name, const std::string & node_name, const std::string & namespace_,
    std::string & output)
{
  if (!check_topic_name_input(name).valid()) {
    return ExpandStatus::InvalidTopicName;
  }
  if (!check_node_name(node_name).valid()) {
    return ExpandStatus::InvalidNodeName;
  }
  if (!check_namespace(namespace_).valid()) {
    return ExpandStatus::InvalidNamespace;
  }
  const bool has_substitution = name.find('{') != std::string::npos;
  if (name[0] == '/' && !has_substitution) {
    output = name;
    return ExpandStatus::Ok;
  }
  const std::string ns_prefix = namespace_ == "/" ? "/" : namespace_ + "/";
  std::string result = name;
  if (name[0] == '~') {
    result = ns_prefix + node_name + name.substr(1);
  }
  for (size_t open = result.find('{'); open != std::string::npos; open = result.find('{')) {
    const size_t close = result.find('}', open);
    const std::string substitution = result.substr(open, close - open + 1);
    if (substitution == "{node}") {
      replace_all(result, substitution, node_name);
    } else if (substitution == "{ns}" || substitution == "{namespace}") {
      replace_all(result, substitution, namespace_);
    } else {
      return ExpandStatus::UnknownSubstitution;
    }
  }
  if (result[0] != '/') {
    result = ns_prefix + result;
  }
  output = result;
  return ExpandStatus::Ok;
}

}  // namespace detail
}  // namespace rclcpp
