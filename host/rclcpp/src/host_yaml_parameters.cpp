// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "host_yaml_parameters.hpp"

#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host_error_text.hpp"
#include "rclcpp/detail/host_names.hpp"

namespace rclcpp {
namespace detail {

namespace {

const char kParametersKey[] = "ros__parameters";

int line_of(const YAML::Node & node)
{
  return node.Mark().line + 1;
}

bool is_one_of(const std::string & text, std::initializer_list<const char *> words)
{
  for (const char * word : words) {
    if (text == word) {
      return true;
    }
  }
  return false;
}

// Unquoted scalars: YAML 1.1 booleans, then anything strtoll (base 0) reads completely,
// then the YAML infinities/NaN or anything strtod reads completely; else a string.
ParameterValue typed_scalar(const std::string & text, bool quoted)
{
  if (quoted) {
    return ParameterValue(text);
  }
  if (is_one_of(text, {"Y", "y", "yes", "Yes", "YES", "true", "True", "TRUE", "on", "On", "ON"})) {
    return ParameterValue(true);
  }
  if (is_one_of(
          text, {"N", "n", "no", "No", "NO", "false", "False", "FALSE", "off", "Off", "OFF"})) {
    return ParameterValue(false);
  }
  const char * begin = text.c_str();
  char * end = nullptr;
  errno = 0;
  const long long integer = std::strtoll(begin, &end, 0);
  if (errno == 0 && end != begin && *end == '\0') {
    return ParameterValue(static_cast<int64_t>(integer));
  }
  if (is_one_of(text, {".nan", ".NaN", ".NAN"})) {
    return ParameterValue(std::strtod("nan", nullptr));
  }
  if (is_one_of(text, {".inf", ".Inf", ".INF", "+.inf", "+.Inf", "+.INF"})) {
    return ParameterValue(std::strtod("inf", nullptr));
  }
  if (is_one_of(text, {"-.inf", "-.Inf", "-.INF"})) {
    return ParameterValue(-std::strtod("inf", nullptr));
  }
  errno = 0;
  const double floating = std::strtod(begin, &end);
  if (errno == 0 && end != begin && *end == '\0') {
    return ParameterValue(floating);
  }
  return ParameterValue(text);
}

// Reads YAML values keeping what the YAML library loses: the text of `~`/`null`
// scalars, which are strings here, found again in the source at the node's mark.
class ValueReader
{
public:
  ValueReader(const std::string & source, bool lines_in_errors)
      : source_(source), lines_in_errors_(lines_in_errors)
  {}

  ParameterValue scalar(const YAML::Node & node) const
  {
    if (node.IsScalar()) {
      return typed_scalar(node.Scalar(), node.Tag() == "!");
    }
    const std::string text = null_text(node);
    if (text.empty()) {
      throw RuleError(HOST_ERROR_TEXT("No value at line " + std::to_string(line_of(node))));
    }
    return ParameterValue(text);
  }

  ParameterValue value(const YAML::Node & node) const
  {
    if (node.IsSequence()) {
      return sequence(node);
    }
    if (node.IsScalar() || node.IsNull()) {
      return scalar(node);
    }
    throw_unknown_event(node);
  }

private:
  [[noreturn]] void throw_unknown_event(const YAML::Node & node) const
  {
    if (lines_in_errors_) {
      throw RuleError(
          HOST_ERROR_TEXT("Unknown YAML event at line " + std::to_string(line_of(node))));
    }
    throw RuleError(HOST_ERROR_TEXT("Unknown YAML event"));
  }

  std::string null_text(const YAML::Node & node) const
  {
    const int pos = node.Mark().pos;
    if (pos < 0 || static_cast<size_t>(pos) >= source_.size()) {
      return "";
    }
    if (source_[pos] == '~') {
      return "~";
    }
    for (const char * word : {"null", "Null", "NULL"}) {
      if (source_.compare(pos, 4, word) == 0) {
        return word;
      }
    }
    return "";
  }

  ParameterValue sequence(const YAML::Node & node) const
  {
    std::vector<ParameterValue> items;
    for (const YAML::Node & item : node) {
      if (!item.IsScalar() && !item.IsNull()) {
        throw_unknown_event(item);
      }
      items.push_back(scalar(item));
      if (items.front().get_type() != items.back().get_type()) {
        throw RuleError(HOST_ERROR_TEXT(
            "Sequence should be of same type. Value type '" + to_string(items.back().get_type()) +
            "' do not belong at line_num " + std::to_string(line_of(item))));
      }
    }
    if (items.empty()) {
      return ParameterValue();
    }
    switch (items.front().get_type()) {
      case PARAMETER_BOOL:
        return ParameterValue(collect<bool>(items));
      case PARAMETER_INTEGER:
        return ParameterValue(collect<int64_t>(items));
      case PARAMETER_DOUBLE:
        return ParameterValue(collect<double>(items));
      default:
        return ParameterValue(collect<std::string>(items));
    }
  }

  template <typename T>
  static std::vector<T> collect(const std::vector<ParameterValue> & items)
  {
    std::vector<T> values;
    for (const ParameterValue & item : items) {
      values.push_back(item.get<T>());
    }
    return values;
  }

  const std::string & source_;
  bool lines_in_errors_;
};

// Node keys of a file must be valid node names below valid namespaces; `*` and `**`
// stand for any name.
void check_node_key(const std::string & key)
{
  if (key == "/**" || key == "/*") {
    return;
  }
  const size_t last_slash = key.rfind('/');
  const std::string node = last_slash == std::string::npos ? key : key.substr(last_slash + 1);
  if (last_slash != std::string::npos) {
    std::string ns = key.substr(0, last_slash + 1);
    if (ns[0] != '/') {
      ns = "/" + ns;
    }
    size_t begin = 0;
    size_t next = ns.find('/', 1);
    if (next == std::string::npos) {
      const NameCheck check = check_namespace(ns);
      if (!check.valid()) {
        throw RuleError(HOST_ERROR_TEXT(check.error));
      }
    }
    for (; next != std::string::npos; begin = next, next = ns.find('/', begin + 1)) {
      const std::string segment = ns.substr(begin, next - begin);
      if (segment == "/") {
        throw RuleError(HOST_ERROR_TEXT(ns + " contains repeated forward slash"));
      }
      if (segment != "/**" && segment != "/*") {
        const NameCheck check = check_namespace(segment);
        if (!check.valid()) {
          throw RuleError(HOST_ERROR_TEXT(check.error));
        }
      }
    }
  }
  if (node != "*" && node != "**") {
    const NameCheck check = check_node_name(node);
    if (!check.valid()) {
      throw RuleError(HOST_ERROR_TEXT(check.error));
    }
  }
}

class ParametersFileReader
{
public:
  ParametersFileReader(const std::string & source, std::vector<ParameterOverrideRule> & rules)
      : values_(source, true), rules_(rules)
  {}

  void read_root(const YAML::Node & root)
  {
    if (root.IsSequence()) {
      throw RuleError(
          HOST_ERROR_TEXT("Sequences cannot be key at line " + std::to_string(line_of(root))));
    }
    if (root.IsMap()) {
      read_node_level(root, "");
    }
  }

private:
  static std::string join_node_key(const std::string & key, const std::string & name)
  {
    if (key.empty()) {
      return name;
    }
    return key.back() == '/' ? key + name : key + "/" + name;
  }

  static std::string key_text(const YAML::Node & key)
  {
    if (!key.IsScalar() || key.Scalar().empty()) {
      throw RuleError(HOST_ERROR_TEXT("No key at line " + std::to_string(line_of(key))));
    }
    return key.Scalar();
  }

  void read_node_level(const YAML::Node & map, const std::string & node_key)
  {
    for (const auto & entry : map) {
      // The library's iterator yields proxies: keep copies of the nodes.
      const YAML::Node key_node = entry.first;
      const YAML::Node value = entry.second;
      const std::string key = key_text(key_node);
      if (key.compare(0, sizeof(kParametersKey) - 1, kParametersKey) == 0) {
        if (node_key.empty()) {
          throw RuleError(HOST_ERROR_TEXT(
              std::string("There are no node names before ") + kParametersKey + " at line " +
              std::to_string(line_of(key_node))));
        }
        check_node_key(node_key);
        if (!value.IsMap()) {
          throw_value_before_parameters(value);
        }
        read_parameters(value, node_key, "");
      } else if (value.IsMap()) {
        read_node_level(value, join_node_key(node_key, key));
      } else if (value.IsSequence()) {
        throw RuleError(HOST_ERROR_TEXT(
            "Sequences can only be values and not keys in params. Error at line " +
            std::to_string(line_of(value)) + "\n"));
      } else {
        throw_value_before_parameters(value);
      }
    }
  }

  [[noreturn]] static void throw_value_before_parameters(const YAML::Node & value)
  {
    throw RuleError(HOST_ERROR_TEXT(
        std::string("Cannot have a value before ") + kParametersKey + " at line " +
        std::to_string(line_of(value))));
  }

  void read_parameters(
      const YAML::Node & map, const std::string & node_key, const std::string & prefix)
  {
    for (const auto & entry : map) {
      const YAML::Node value = entry.second;
      const std::string key = key_text(entry.first);
      const std::string name = prefix.empty() ? key : prefix + "." + key;
      if (value.IsMap()) {
        read_parameters(value, node_key, name);
      } else {
        rules_.push_back({node_key, name, values_.value(value)});
      }
    }
  }

  ValueReader values_;
  std::vector<ParameterOverrideRule> & rules_;
};

}  // namespace

ParameterValue parse_yaml_parameter_value(const std::string & text)
{
  YAML::Node node;
  try {
    node = YAML::Load(text);
  } catch (const YAML::Exception &) {
    throw RuleError(HOST_ERROR_TEXT("Error parsing an event"));
  }
  return ValueReader(text, false).value(node);
}

void parse_parameters_file(const std::string & path, std::vector<ParameterOverrideRule> & rules)
{
  std::ifstream file(path);
  if (!file) {
    throw RuleError(HOST_ERROR_TEXT("Error opening YAML file"));
  }
  std::ostringstream contents;
  contents << file.rdbuf();
  const std::string source = contents.str();
  YAML::Node root;
  try {
    root = YAML::Load(source);
  } catch (const YAML::Exception & error) {
    throw RuleError(
        HOST_ERROR_TEXT("Error parsing a event near line " + std::to_string(error.mark.line + 1)));
  }
  // Rules are only added once the whole file has been read without error.
  std::vector<ParameterOverrideRule> file_rules;
  ParametersFileReader(source, file_rules).read_root(root);
  rules.insert(rules.end(), file_rules.begin(), file_rules.end());
}

}  // namespace detail
}  // namespace rclcpp
