// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Name expansion and validation, ROS argument parsing, remapping and parameter override
// resolution inside the host client library, checked against the texts and rules of ROS 2
// Humble. Built only against the host runtime.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "host/runtime_test_helpers.hpp"
#include "rclcpp/detail/host_arguments.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/expand_topic_or_service_name.hpp"
#include "rclcpp/rclcpp.hpp"
#include "std_msgs/msg/string.hpp"

namespace {

using runtime_test::starts_with;
using runtime_test::what_of;

using rclcpp::detail::HostArguments;
using rclcpp::detail::parse_arguments;
using rclcpp::detail::RemapRule;

HostArguments ros_args(const std::vector<std::string> & rules)
{
  std::vector<std::string> args{"--ros-args"};
  args.insert(args.end(), rules.begin(), rules.end());
  return parse_arguments(args, "failed to initialize rcl");
}

std::string init_error(const std::vector<std::string> & args)
{
  return what_of<rclcpp::exceptions::RCLInvalidROSArgsError>(
      [&args] { parse_arguments(args, "failed to initialize rcl"); });
}

TEST(NameValidationError, WhatHasThreeLinesWithCaretUnderOffendingCharacter)
{
  const rclcpp::exceptions::InvalidTopicNameError error("/ns/foo//bar", "bad", 8);
  EXPECT_STREQ("Invalid topic name: bad:\n  '/ns/foo//bar'\n           ^\n", error.what());
  EXPECT_EQ("topic name", error.name_type);
  EXPECT_EQ("/ns/foo//bar", error.name);
  EXPECT_EQ(8u, error.invalid_index);
  EXPECT_STREQ(
      "Invalid node name: m:\n  'x'\n   ^\n",
      rclcpp::exceptions::InvalidNodeNameError("x", "m", 0).what());
  EXPECT_EQ("namespace", rclcpp::exceptions::InvalidNamespaceError("/", "m", 0).name_type);
  EXPECT_EQ("service name", rclcpp::exceptions::InvalidServiceNameError("/", "m", 0).name_type);
}

TEST(ExpandTopicOrServiceName, ExpandsRelativePrivateAndSubstitutedNames)
{
  using rclcpp::expand_topic_or_service_name;
  EXPECT_EQ("/ns/chatter", expand_topic_or_service_name("chatter", "talker", "/ns"));
  EXPECT_EQ("/chatter", expand_topic_or_service_name("chatter", "talker", "/"));
  EXPECT_EQ("/abs/x", expand_topic_or_service_name("/abs/x", "talker", "/ns"));
  EXPECT_EQ("/ns/talker/x", expand_topic_or_service_name("~/x", "talker", "/ns"));
  EXPECT_EQ("/talker/x", expand_topic_or_service_name("~/x", "talker", "/"));
  EXPECT_EQ("/ns/talker", expand_topic_or_service_name("~", "talker", "/ns"));
  EXPECT_EQ("/ns/talker/x", expand_topic_or_service_name("{node}/x", "talker", "/ns"));
  EXPECT_EQ("/ns/a/x", expand_topic_or_service_name("{ns}/a/x", "talker", "/ns"));
  EXPECT_EQ("/ns/x", expand_topic_or_service_name("{namespace}/x", "talker", "/ns"));
  EXPECT_EQ("/ns/srv", expand_topic_or_service_name("srv", "talker", "/ns", true));
}

struct InputCase
{
  const char * name;
  const char * message;
  size_t index;
};

TEST(ExpandTopicOrServiceName, ReportsInputFaultsOnTheOriginalNameInCheckOrder)
{
  const InputCase cases[] = {
      {"", "topic name must not be empty string", 0},
      {"7x", "topic name token must not start with a number", 0},
      {"/", "topic name must not end with a forward slash", 0},
      {"foo/", "topic name must not end with a forward slash", 3},
      {"fo o",
       "topic name must not contain characters other than alphanumerics, '_', '~', '{', or '}'", 2},
      {"foo~", "topic name must not have tilde '~' unless it is the first character", 3},
      {"~foo", "topic name must not have a tilde '~' that is not followed by a forward slash '/'",
       1},
      {"{a/b}", "substitution name must not contain characters other than alphanumerics or '_'", 2},
      {"{a{b}}", "substitution name must not contain characters other than alphanumerics or '_'",
       2},
      {"{a-b}", "substitution name must not contain characters other than alphanumerics or '_'", 2},
      {"x/{1a}", "substitution name must not start with a number", 3},
      {"foo}", "topic name must not have unmatched (unbalanced) curly braces '{}'", 3},
      {"a/{foo", "topic name must not have unmatched (unbalanced) curly braces '{}'", 2},
      {"foo/1x", "topic name token must not start with a number", 4},
  };
  for (const InputCase & c : cases) {
    SCOPED_TRACE(c.name);
    try {
      rclcpp::expand_topic_or_service_name(c.name, "node", "/ns");
      ADD_FAILURE() << "no exception";
    } catch (const rclcpp::exceptions::InvalidTopicNameError & error) {
      EXPECT_EQ(c.name, error.name);
      EXPECT_EQ(c.message, error.error_msg);
      EXPECT_EQ(c.index, error.invalid_index);
    }
  }
  EXPECT_EQ(
      "Invalid service name: topic name token must not start with a number:\n  '7x'\n   ^\n",
      what_of<rclcpp::exceptions::InvalidServiceNameError>(
          [] { rclcpp::expand_topic_or_service_name("7x", "node", "/ns", true); }));
}

TEST(ExpandTopicOrServiceName, ReportsFaultsOfTheExpandedNameOnTheExpandedName)
{
  EXPECT_EQ(
      "Invalid topic name: topic name must not contain repeated '/':\n"
      "  '/ns/foo//bar'\n"
      "           ^\n",
      what_of<rclcpp::exceptions::InvalidTopicNameError>(
          [] { rclcpp::expand_topic_or_service_name("foo//bar", "node", "/ns"); }));
  // `{ns}` at the root doubles the slash.
  EXPECT_EQ(
      "Invalid service name: topic name must not contain repeated '/':\n  '//x'\n    ^\n",
      what_of<rclcpp::exceptions::InvalidServiceNameError>(
          [] { rclcpp::expand_topic_or_service_name("{ns}/x", "node", "/", true); }));
  // Humble's quirk: an unknown substitution passes the input check and ends as a generic error.
  EXPECT_EQ("topic name unexpectedly valid", what_of<std::runtime_error>([] {
              rclcpp::expand_topic_or_service_name("{foo}", "n", "/");
            }));
}

TEST(ExpandTopicOrServiceName, LimitsExpandedLengthTo247)
{
  const std::string longest = "/" + std::string(246, 'a');
  EXPECT_EQ(longest, rclcpp::expand_topic_or_service_name(longest, "node", "/"));
  try {
    rclcpp::expand_topic_or_service_name(longest + "a", "node", "/");
    ADD_FAILURE() << "no exception";
  } catch (const rclcpp::exceptions::InvalidTopicNameError & error) {
    EXPECT_EQ("topic length should not exceed '255U - 8U'", error.error_msg);
    EXPECT_EQ(246u, error.invalid_index);
  }
}

TEST(ExpandTopicOrServiceName, RejectsInvalidNodeNameAndNamespace)
{
  EXPECT_EQ(
      "Invalid node name: node name must not start with a number:\n  '1n'\n   ^\n",
      what_of<rclcpp::exceptions::InvalidNodeNameError>(
          [] { rclcpp::expand_topic_or_service_name("x", "1n", "/"); }));
  EXPECT_EQ(
      "Invalid namespace: namespace must not end with a '/', unless only a '/':\n  '/ns/'\n      "
      "^\n",
      what_of<rclcpp::exceptions::InvalidNamespaceError>(
          [] { rclcpp::expand_topic_or_service_name("x", "n", "/ns/"); }));
}

TEST(NodeIdentity, NormalisesNamespaceAndBuildsFullyQualifiedName)
{
  using rclcpp::detail::resolve_node_identity;
  const auto relative = resolve_node_identity("talker", "ns", {});
  EXPECT_EQ("talker", relative.name);
  EXPECT_EQ("/ns", relative.namespace_);
  EXPECT_EQ("/ns/talker", relative.fully_qualified_name);
  EXPECT_EQ("/talker", resolve_node_identity("talker", "", {}).fully_qualified_name);
  EXPECT_EQ("/a/b/talker", resolve_node_identity("talker", "/a/b", {}).fully_qualified_name);
}

TEST(NodeIdentity, RejectsBadNamesAndReportsTheNamespaceAsPassed)
{
  using rclcpp::detail::resolve_node_identity;
  try {
    resolve_node_identity("ta-lker", "", {});
    ADD_FAILURE() << "no exception";
  } catch (const rclcpp::exceptions::InvalidNodeNameError & error) {
    EXPECT_EQ(
        "node name must not contain characters other than alphanumerics or '_'", error.error_msg);
    EXPECT_EQ(2u, error.invalid_index);
  }
  EXPECT_EQ(
      "Invalid node name: node name must not be empty:\n  ''\n   ^\n",
      what_of<rclcpp::exceptions::InvalidNodeNameError>([] { resolve_node_identity("", "", {}); }));
  // A bad relative namespace is re-checked as passed, so it "must be absolute".
  EXPECT_EQ(
      "Invalid namespace: namespace must be absolute, it must lead with a '/':\n  'ns/'\n   ^\n",
      what_of<rclcpp::exceptions::InvalidNamespaceError>(
          [] { resolve_node_identity("n", "ns/", {}); }));
  EXPECT_EQ(
      "Invalid namespace: namespace must not have a token that starts with a number:\n"
      "  '/a/1b'\n      ^\n",
      what_of<rclcpp::exceptions::InvalidNamespaceError>(
          [] { resolve_node_identity("n", "/a/1b", {}); }));
}

TEST(ParseArguments, ReadsRemapRulesOfEveryForm)
{
  const HostArguments args = ros_args(
      {"-r", "chatter:=talk", "--remap", "talker:/a:=~/b", "-r", "rostopic://t:=u", "-r",
       "rosservice://s:=v", "-r", "__node:=renamed", "-r", "__name:=other", "-r",
       "x:__ns:=/new/ns"});
  ASSERT_EQ(7u, args.remaps.size());
  const auto expect_rule = [&args](
                               size_t i, RemapRule::Kind kind, const char * node, const char * from,
                               const char * to) {
    SCOPED_TRACE(i);
    EXPECT_EQ(kind, args.remaps[i].kind);
    EXPECT_EQ(node, args.remaps[i].node_name);
    EXPECT_EQ(from, args.remaps[i].from);
    EXPECT_EQ(to, args.remaps[i].to);
  };
  expect_rule(0, RemapRule::Kind::TopicOrService, "", "chatter", "talk");
  expect_rule(1, RemapRule::Kind::TopicOrService, "talker", "/a", "~/b");
  expect_rule(2, RemapRule::Kind::Topic, "", "t", "u");
  expect_rule(3, RemapRule::Kind::Service, "", "s", "v");
  expect_rule(4, RemapRule::Kind::NodeName, "", "", "renamed");
  expect_rule(5, RemapRule::Kind::NodeName, "", "", "other");
  expect_rule(6, RemapRule::Kind::Namespace, "x", "", "/new/ns");
}

TEST(ParseArguments, ReportsMalformedRulesWithTheCLayerTexts)
{
  const std::string prefix = "failed to initialize rcl: ";
  EXPECT_TRUE(starts_with(
      init_error({"prog", "--ros-args", "-r", "bad"}),
      prefix + "Couldn't parse remap rule: '-r bad'. Error: Expected lexeme type (19) not found, "
               "search ended at index 3, at "));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "-r"}),
      prefix + "Couldn't parse trailing -r flag. No remap rule found., at "));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "-p"}),
      prefix + "Couldn't parse trailing -p flag. No parameter override rule found., at "));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "--params-file"}),
      prefix + "Couldn't parse trailing --params-file flag. No file path provided., at "));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "-r", "__ns:=relative"}),
      prefix + "Couldn't parse remap rule: '-r __ns:=relative'. Error: Expected lexeme type 19, "
               "got 18 at index 6, at "));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "-r", "*:=x"}),
      prefix +
          "Couldn't parse remap rule: '-r *:=x'. Error: Wildcard '*' is not implemented, at "));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "-r", "a:=\\1"}),
      prefix +
          "Couldn't parse remap rule: '-r a:=\\1'. Error: Backreferences are not implemented"));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "-r", "a:="}),
      prefix + "Couldn't parse remap rule: '-r a:='. Error: error not set, at "));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "-p", "x:="}),
      prefix + "Couldn't parse parameter override rule: '-p x:='. Error: error not set, at "));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "--log-level", "loud"}),
      prefix + "Couldn't parse log level: '--log-level loud'. Error: Argument does not use a valid "
               "severity level, at "));
  // The error type derives from std::runtime_error as well.
  EXPECT_FALSE(what_of<std::runtime_error>([] {
                 parse_arguments({"--ros-args", "-r", "bad"}, "p");
               }).empty());
}

TEST(ParseArguments, CollectsUnknownFlagsInsideRosArgsOnly)
{
  try {
    parse_arguments({"prog", "--ros-args", "--foo", "--bar", "--", "--baz"}, "failed");
    ADD_FAILURE() << "no exception";
  } catch (const rclcpp::exceptions::UnknownROSArgsError & error) {
    EXPECT_STREQ("found unknown ROS arguments: '--foo', '--bar'", error.what());
    EXPECT_EQ((std::vector<std::string>{"--foo", "--bar"}), error.unknown_ros_args);
  }
  EXPECT_NO_THROW(parse_arguments({"prog", "--foo", "--ros-args", "--", "--bar"}, "failed"));
}

TEST(ParseArguments, AcceptsLoggingAndEnclaveFlags)
{
  const HostArguments args = ros_args(
      {"--log-level", "debug", "--log-level", "rclcpp:=Warn", "--enable-stdout-logs",
       "--disable-rosout-logs", "--disable-external-lib-logs", "--log-config-file", "f.conf", "-e",
       "/enclave", "--ros-args", "-r", "a:=b"});
  ASSERT_EQ(2u, args.log_levels.size());
  EXPECT_EQ("", args.log_levels[0].logger_name);
  EXPECT_EQ("DEBUG", args.log_levels[0].severity);
  EXPECT_EQ("rclcpp", args.log_levels[1].logger_name);
  EXPECT_EQ("WARN", args.log_levels[1].severity);
  EXPECT_EQ(1u, args.remaps.size());
  EXPECT_TRUE(args.unknown.empty());
}

TEST(ParseArguments, TakesBareRemapRulesOutsideRosArgs)
{
  const HostArguments args = parse_arguments({"/usr/bin/prog", "chatter:=talk", "-x"}, "failed");
  ASSERT_EQ(1u, args.remaps.size());
  EXPECT_EQ("chatter", args.remaps[0].from);
  EXPECT_EQ(
      (std::vector<std::string>{"/usr/bin/prog", "-x", "--keep"}),
      rclcpp::detail::remove_ros_arguments(
          {"/usr/bin/prog", "chatter:=talk", "-x", "--ros-args", "-r", "a:=b", "--unknown", "--",
           "--keep"}));
  EXPECT_TRUE(starts_with(
      what_of<rclcpp::exceptions::RCLInvalidROSArgsError>([] {
        rclcpp::detail::remove_ros_arguments({"--ros-args", "-r"});
      }),
      "failed to parse arguments: Couldn't parse trailing -r flag."));
}

rclcpp::ParameterValue single_override(const std::string & rule)
{
  const HostArguments args = ros_args({"-p", rule});
  EXPECT_EQ(1u, args.parameter_overrides.size());
  return args.parameter_overrides.at(0).value;
}

TEST(ParameterRules, TypeValuesLikeTheYamlParameterParser)
{
  EXPECT_EQ(8, single_override("x:=010").get<int64_t>());
  EXPECT_EQ(16, single_override("x:=0x10").get<int64_t>());
  EXPECT_EQ(-3, single_override("x:=-3").get<int64_t>());
  EXPECT_EQ(1.0, single_override("x:=1.0").get<double>());
  EXPECT_EQ(1000.0, single_override("x:=1e3").get<double>());
  EXPECT_TRUE(std::isinf(single_override("x:=inf").get<double>()));
  EXPECT_EQ(-HUGE_VAL, single_override("x:=-.inf").get<double>());
  EXPECT_TRUE(std::isnan(single_override("x:=.nan").get<double>()));
  for (const char * yes : {"true", "True", "yes", "Y", "on", "ON"}) {
    EXPECT_TRUE(single_override(std::string("x:=") + yes).get<bool>()) << yes;
  }
  for (const char * no : {"false", "FALSE", "no", "n", "off", "Off"}) {
    EXPECT_FALSE(single_override(std::string("x:=") + no).get<bool>()) << no;
  }
  EXPECT_EQ("5", single_override("x:='5'").get<std::string>());
  EXPECT_EQ("true", single_override("x:=\"true\"").get<std::string>());
  EXPECT_EQ("abc", single_override("x:=abc").get<std::string>());
  EXPECT_EQ("~", single_override("x:=~").get<std::string>());
  EXPECT_EQ("null", single_override("x:=null").get<std::string>());
  EXPECT_EQ((std::vector<int64_t>{1, 2}), single_override("x:=[1, 2]").get<std::vector<int64_t>>());
  EXPECT_EQ(
      (std::vector<double>{1.5, 2.0}), single_override("x:=[1.5, 2.0]").get<std::vector<double>>());
  EXPECT_EQ(
      (std::vector<bool>{true, false}), single_override("x:=[true, off]").get<std::vector<bool>>());
  EXPECT_EQ(
      (std::vector<std::string>{"a", "1"}),
      single_override("x:=[a, '1']").get<std::vector<std::string>>());
}

TEST(ParameterRules, RejectMixedSequencesAndBadNames)
{
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "-p", "x:=[1, 2.5]"}),
      "failed to initialize rcl: Couldn't parse parameter override rule: '-p x:=[1, 2.5]'. Error: "
      "Sequence should be of same type. Value type 'double' do not belong at line_num 1, at "));
  EXPECT_TRUE(starts_with(
      init_error({"--ros-args", "-p", "x"}),
      "failed to initialize rcl: Couldn't parse parameter override rule: '-p x'. Error: Expected "
      "lexeme type (22) not found, search ended at index 1, at "));
  EXPECT_NE(
      std::string::npos,
      init_error({"--ros-args", "-p", "**:=1"}).find("Wildcard '**' is not implemented"));
}

TEST(ParameterRules, KeepNodePrefixAndDottedNames)
{
  const HostArguments args = ros_args({"-p", "talker:a.b/c.d:=1", "--param", "x:=2"});
  ASSERT_EQ(2u, args.parameter_overrides.size());
  EXPECT_EQ("talker", args.parameter_overrides[0].node_key);
  EXPECT_EQ("a.b/c.d", args.parameter_overrides[0].name);
  EXPECT_EQ("/**", args.parameter_overrides[1].node_key);
  EXPECT_EQ("x", args.parameter_overrides[1].name);
}

std::string resolve(
    const std::string & name, const std::string & node, const std::string & ns,
    const std::vector<const HostArguments *> & lists, bool is_service = false)
{
  return rclcpp::detail::resolve_topic_or_service_name(name, node, ns, is_service, lists);
}

TEST(Remapping, MatchesExpandedNamesOnly)
{
  const HostArguments relative = ros_args({"-r", "chatter:=talk"});
  EXPECT_EQ("/ns/talk", resolve("chatter", "talker", "/ns", {&relative}));
  EXPECT_EQ("/ns/talk", resolve("/ns/chatter", "talker", "/ns", {&relative}));
  EXPECT_EQ("/other/chatter", resolve("/other/chatter", "talker", "/ns", {&relative}));
  const HostArguments absolute = ros_args({"-r", "/chatter:=/x"});
  EXPECT_EQ("/ns/chatter", resolve("chatter", "talker", "/ns", {&absolute}));
  EXPECT_EQ("/x", resolve("chatter", "talker", "/", {&absolute}));
  const HostArguments private_rule = ros_args({"-r", "~/state:=~/status"});
  EXPECT_EQ("/ns/talker/status", resolve("~/state", "talker", "/ns", {&private_rule}));
}

TEST(Remapping, HonoursNodePrefixKindAndListOrder)
{
  const HostArguments rules = ros_args(
      {"-r", "listener:chatter:=a", "-r", "rostopic://srv:=topic_only", "-r",
       "rosservice://srv:=service_only", "-r", "chatter:=first", "-r", "chatter:=second"});
  EXPECT_EQ("/a", resolve("chatter", "listener", "/", {&rules}));
  EXPECT_EQ("/first", resolve("chatter", "talker", "/", {&rules}));
  EXPECT_EQ("/topic_only", resolve("srv", "n", "/", {&rules}, false));
  EXPECT_EQ("/service_only", resolve("srv", "n", "/", {&rules}, true));
  const HostArguments local = ros_args({"-r", "x:=local"});
  const HostArguments global = ros_args({"-r", "x:=global", "-r", "y:=global_y"});
  EXPECT_EQ("/local", resolve("x", "n", "/", {&local, &global}));
  EXPECT_EQ("/global_y", resolve("y", "n", "/", {&local, &global}));
  EXPECT_EQ("/global", resolve("x", "n", "/", {nullptr, &global}));
}

TEST(Remapping, DoesNotChainRules)
{
  const HostArguments rules = ros_args({"-r", "a:=b", "-r", "b:=c"});
  EXPECT_EQ("/b", resolve("a", "n", "/", {&rules}));
  EXPECT_EQ("/c", resolve("b", "n", "/", {&rules}));
  const HostArguments names = ros_args({"-r", "talker:__node:=a", "-r", "a:__node:=b"});
  EXPECT_EQ("a", rclcpp::detail::remap_node_name({&names}, "talker"));
}

TEST(Remapping, NamespaceRulesSeeTheRemappedNodeName)
{
  using rclcpp::detail::resolve_node_identity;
  const HostArguments rules = ros_args(
      {"-r", "talker:__node:=speaker", "-r", "talker:__ns:=/old", "-r", "speaker:__ns:=/new"});
  const auto identity = resolve_node_identity("talker", "/ns", {&rules});
  EXPECT_EQ("speaker", identity.name);
  EXPECT_EQ("/new", identity.namespace_);
  EXPECT_EQ("/new/speaker", identity.fully_qualified_name);
  const HostArguments local = ros_args({"-r", "__ns:=/local"});
  const HostArguments global = ros_args({"-r", "__ns:=/global", "-r", "__node:=g"});
  const auto both = resolve_node_identity("n", "", {&local, &global});
  EXPECT_EQ("/local/g", both.fully_qualified_name);
  const HostArguments root = ros_args({"-r", "__ns:=/"});
  EXPECT_EQ("/n", resolve_node_identity("n", "/ns", {&root}).fully_qualified_name);
  // The rule syntax accepts a trailing slash, the node then refuses the namespace.
  const HostArguments trailing = ros_args({"-r", "__ns:=/bad/"});
  EXPECT_TRUE(starts_with(
      what_of<rclcpp::exceptions::RCLError>(
          [&trailing] { resolve_node_identity("n", "", {&trailing}); }),
      "failed to initialize rcl node: invalid node namespace: namespace must not end with a '/', "
      "unless only a '/', at "));
}

TEST(Remapping, TopicRulesUseTheRemappedNodeName)
{
  const HostArguments rules = ros_args({"-r", "speaker:chatter:=talk"});
  EXPECT_EQ("/ns/talk", resolve("chatter", "speaker", "/ns", {&rules}));
  EXPECT_EQ("/ns/chatter", resolve("chatter", "talker", "/ns", {&rules}));
}

std::map<std::string, rclcpp::ParameterValue> overrides_for(
    const std::string & fqn, const std::vector<const HostArguments *> & low_to_high,
    const std::vector<rclcpp::Parameter> & explicit_overrides = {})
{
  return rclcpp::detail::resolve_parameter_overrides(fqn, low_to_high, explicit_overrides);
}

TEST(ParameterOverrides, NodePrefixMatchesTheExactFullyQualifiedName)
{
  const HostArguments args = ros_args({"-p", "talker:x:=1"});
  EXPECT_EQ(1, overrides_for("/talker", {&args}).at("x").get<int64_t>());
  EXPECT_TRUE(overrides_for("/ns/talker", {&args}).empty());
  EXPECT_TRUE(overrides_for("/listener", {&args}).empty());
}

TEST(ParameterOverrides, KeyOrderDecidesNotRuleOrder)
{
  const HostArguments global_first = ros_args({"-p", "x:=2", "-p", "talker:x:=1"});
  EXPECT_EQ(1, overrides_for("/talker", {&global_first}).at("x").get<int64_t>());
  const HostArguments prefixed_first = ros_args({"-p", "talker:x:=1", "-p", "x:=2"});
  EXPECT_EQ(2, overrides_for("/talker", {&prefixed_first}).at("x").get<int64_t>());
  const HostArguments repeated = ros_args({"-p", "x:=1", "-p", "x:=abc"});
  EXPECT_EQ("abc", overrides_for("/n", {&repeated}).at("x").get<std::string>());
}

TEST(ParameterOverrides, LocalOverGlobalAndExplicitOverBoth)
{
  const HostArguments global = ros_args({"-p", "a:=1", "-p", "b:=1", "-p", "c:=1"});
  const HostArguments local = ros_args({"-p", "b:=2", "-p", "c:=2"});
  const auto result = overrides_for(
      "/n", {&global, &local}, {rclcpp::Parameter("c", 3), rclcpp::Parameter("d", 4)});
  EXPECT_EQ(1, result.at("a").get<int64_t>());
  EXPECT_EQ(2, result.at("b").get<int64_t>());
  EXPECT_EQ(3, result.at("c").get<int64_t>());
  EXPECT_EQ(4, result.at("d").get<int64_t>());
}

class ParamsFile : public ::testing::Test
{
protected:
  void TearDown() override
  {
    std::remove(path_.c_str());
  }

  HostArguments load(const std::string & contents)
  {
    std::ofstream(path_) << contents;
    return ros_args({"--params-file", path_});
  }

  std::string load_error(const std::string & contents)
  {
    std::ofstream(path_) << contents;
    return init_error({"--ros-args", "--params-file", path_});
  }

  // CTest runs the cases of this suite in parallel processes: one file each.
  const std::string path_ =
      ::testing::TempDir() + "host_params_test_" + std::to_string(getpid()) + ".yaml";
};

TEST_F(ParamsFile, ReadsNodeKeysNestedNamesAndWildcards)
{
  const HostArguments args = load(
      "/**:\n"
      "  ros__parameters:\n"
      "    everywhere: 1\n"
      "/ns:\n"
      "  talker:\n"
      "    ros__parameters:\n"
      "      group:\n"
      "        rate: 2.5\n"
      "        names: [a, b]\n"
      "      flag: yes\n"
      "      quoted: '010'\n"
      "/ns/*:\n"
      "  ros__parameters:\n"
      "    any_in_ns: 010\n"
      "talker:\n"
      "  ros__parameters:\n"
      "    root_only: 3\n");
  const auto in_ns = overrides_for("/ns/talker", {&args});
  EXPECT_EQ(1, in_ns.at("everywhere").get<int64_t>());
  EXPECT_EQ(2.5, in_ns.at("group.rate").get<double>());
  EXPECT_EQ(
      (std::vector<std::string>{"a", "b"}),
      in_ns.at("group.names").get<std::vector<std::string>>());
  EXPECT_TRUE(in_ns.at("flag").get<bool>());
  EXPECT_EQ("010", in_ns.at("quoted").get<std::string>());
  EXPECT_EQ(8, in_ns.at("any_in_ns").get<int64_t>());
  EXPECT_EQ(0u, in_ns.count("root_only"));
  const auto at_root = overrides_for("/talker", {&args});
  EXPECT_EQ(3, at_root.at("root_only").get<int64_t>());
  EXPECT_EQ(0u, at_root.count("any_in_ns"));
  EXPECT_EQ(0u, overrides_for("/ns/sub/talker", {&args}).count("any_in_ns"));
}

TEST_F(ParamsFile, ReportsLayoutAndValueErrors)
{
  const std::string prefix =
      "failed to initialize rcl: Couldn't parse params file: '--params-file ";
  const std::string missing_file = init_error({"--ros-args", "--params-file", "/nonexistent.yaml"});
  EXPECT_TRUE(starts_with(
      missing_file, prefix + "/nonexistent.yaml'. Error: Error opening YAML file, at "));
  EXPECT_NE(
      std::string::npos,
      load_error("talker:\n  ros__parameters:\n    x:\n").find("No value at line"));
  EXPECT_NE(
      std::string::npos,
      load_error("talker:\n  x: 1\n").find("Cannot have a value before ros__parameters at line 2"));
  EXPECT_NE(
      std::string::npos, load_error("ros__parameters:\n  x: 1\n")
                             .find("There are no node names before ros__parameters at line 1"));
  EXPECT_NE(
      std::string::npos, load_error("talker:\n  ros__parameters:\n    x: [1, abc]\n")
                             .find("Value type 'string' do not belong at line_num 3"));
  EXPECT_NE(
      std::string::npos, load_error("1talker:\n  ros__parameters:\n    x: 1\n")
                             .find("node name must not start with a number"));
}

TEST_F(ParamsFile, EmptySequenceFailsOnlyForNodesItReaches)
{
  const HostArguments args = load("talker:\n  ros__parameters:\n    x: []\n");
  EXPECT_TRUE(overrides_for("/listener", {&args}).empty());
  EXPECT_EQ(
      "No parameter value set", what_of<rclcpp::exceptions::InvalidParameterValueException>(
                                    [&args] { overrides_for("/talker", {&args}); }));
}

}  // namespace
