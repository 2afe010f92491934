// The host runtime's ROS command line parser on arbitrary argument lists: parse_arguments,
// remove_ros_arguments, the name and parameter resolution that consume its rules, and a node
// built with the arguments. Tokens are separated by NUL bytes, as argv strings are; the token
// after --params-file is taken as the content of a parameters file.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <rclcpp/detail/host_arguments.hpp>
#include <rclcpp/exceptions.hpp>
#include <rclcpp/rclcpp.hpp>

#include "fuzz_input.hpp"

namespace {

namespace fs = std::filesystem;
namespace ex = rclcpp::exceptions;
using skelmar_fuzz::FuzzInput;

// The context for the nodes and a private folder for parameters files, both for the whole
// run.
struct Fixture
{
  Fixture()
  {
    std::string pattern = (fs::temp_directory_path() / "skelmar_fuzz_args_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      std::abort();
    }
    dir = pattern;
    rclcpp::init(0, nullptr, rclcpp::InitOptions(), rclcpp::SignalHandlerOptions::None);
    // Deprecated remap syntax is warned about on every parse; keep the run readable.
    rclcpp::get_logger("rcl").set_level(rclcpp::Logger::Level::Error);
  }

  ~Fixture()
  {
    rclcpp::shutdown();
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }

  fs::path dir;
};

std::vector<std::string> tokens(const std::string & bytes, const Fixture & fixture)
{
  std::vector<std::string> result;
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('\0', start);
    if (end == std::string::npos) {
      end = bytes.size();
    }
    result.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  int files = 0;
  for (std::size_t i = 0; i + 1 < result.size(); ++i) {
    if (result[i] == "--params-file") {
      const fs::path path = fixture.dir / ("params_" + std::to_string(files++) + ".yaml");
      std::ofstream(path, std::ios::binary | std::ios::trunc) << result[i + 1];
      result[++i] = path.string();
    }
  }
  return result;
}

void resolveWith(const rclcpp::detail::HostArguments & arguments)
{
  const std::vector<const rclcpp::detail::HostArguments *> lists{&arguments};
  try {
    const auto identity = rclcpp::detail::resolve_node_identity("fuzz_node", "/fuzz", lists);
    FUZZ_CHECK(!identity.fully_qualified_name.empty() && identity.fully_qualified_name[0] == '/');
    const auto topic = rclcpp::detail::resolve_topic_or_service_name(
        "~/chatter", identity.name, identity.namespace_, false, lists);
    FUZZ_CHECK(!topic.empty() && topic[0] == '/');
    rclcpp::detail::resolve_topic_or_service_name(
        "add_two_ints", identity.name, identity.namespace_, true, lists);
    rclcpp::detail::resolve_parameter_overrides(identity.fully_qualified_name, lists, {});
  } catch (const ex::NameValidationError &) {
  } catch (const ex::RCLError &) {
  } catch (const ex::InvalidParameterValueException &) {
  }
}

void buildNode(const std::vector<std::string> & arguments)
{
  try {
    rclcpp::Node node("fuzz_node", rclcpp::NodeOptions().arguments(arguments));
  } catch (const ex::RCLInvalidROSArgsError &) {
  } catch (const ex::UnknownROSArgsError &) {
  } catch (const ex::NameValidationError &) {
  } catch (const ex::RCLError &) {
  } catch (const ex::InvalidParameterValueException &) {
  } catch (const ex::InvalidParameterTypeException &) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t * data, std::size_t size)
{
  static const Fixture fixture;
  FuzzInput in(data, size);
  const bool with_node = in.byte() % 4 == 0;
  const std::vector<std::string> arguments = tokens(in.rest(), fixture);

  try {
    const auto parsed = rclcpp::detail::parse_arguments(arguments, "fuzz");
    FUZZ_CHECK(parsed.unknown.empty());
    resolveWith(parsed);
  } catch (const ex::RCLInvalidROSArgsError &) {
  } catch (const ex::UnknownROSArgsError &) {
  }

  try {
    const auto rest = rclcpp::detail::remove_ros_arguments(arguments);
    FUZZ_CHECK(rest.size() <= arguments.size());
  } catch (const ex::RCLInvalidROSArgsError &) {
  }

  if (with_node) {
    buildNode(arguments);
  }
  return 0;
}
