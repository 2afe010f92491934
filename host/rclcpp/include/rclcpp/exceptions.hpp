// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/exceptions.hpp
/// @brief Exception types of the client library (namespace rclcpp::exceptions), with the
/// what() texts the ROS 2 Humble client library produces.

#ifndef RCLCPP__EXCEPTIONS_HPP_
#define RCLCPP__EXCEPTIONS_HPP_

#include <cstddef>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rcl/types.h"

namespace rclcpp {
namespace exceptions {

/// Thrown when a method is trying to use a node, but it is invalid.
class InvalidNodeError : public std::runtime_error
{
public:
  InvalidNodeError() : std::runtime_error("node is invalid") {}
};

/// Thrown when any kind of name (node, namespace, topic, service) is invalid.
/**
 * what() is three lines: `Invalid <name_type>: <error_msg>:`, the quoted name indented by
 * two spaces, and a caret under the offending character.
 */
class NameValidationError : public std::invalid_argument
{
public:
  /// @param name_type_ kind of name, e.g. "topic name".
  /// @param name_ the offending name.
  /// @param error_msg_ why it is invalid.
  /// @param invalid_index_ index of the offending character in @p name_.
  NameValidationError(
      const char * name_type_, const char * name_, const char * error_msg_, size_t invalid_index_)
      : std::invalid_argument(format_error(name_type_, name_, error_msg_, invalid_index_)),
        name_type(name_type_),
        name(name_),
        error_msg(error_msg_),
        invalid_index(invalid_index_)
  {}

  /// Builds the three-line what() text.
  static std::string format_error(
      const char * name_type, const char * name, const char * error_msg, size_t invalid_index);

  const std::string name_type;
  const std::string name;
  const std::string error_msg;
  const size_t invalid_index;
};

/// Thrown when a node name is invalid.
class InvalidNodeNameError : public NameValidationError
{
public:
  InvalidNodeNameError(const char * node_name, const char * error_msg, size_t invalid_index)
      : NameValidationError("node name", node_name, error_msg, invalid_index)
  {}
};

/// Thrown when a node namespace is invalid.
class InvalidNamespaceError : public NameValidationError
{
public:
  InvalidNamespaceError(const char * namespace_, const char * error_msg, size_t invalid_index)
      : NameValidationError("namespace", namespace_, error_msg, invalid_index)
  {}
};

/// Thrown when a topic name is invalid.
class InvalidTopicNameError : public NameValidationError
{
public:
  InvalidTopicNameError(const char * namespace_, const char * error_msg, size_t invalid_index)
      : NameValidationError("topic name", namespace_, error_msg, invalid_index)
  {}
};

/// Thrown when a service name is invalid.
class InvalidServiceNameError : public NameValidationError
{
public:
  InvalidServiceNameError(const char * namespace_, const char * error_msg, size_t invalid_index)
      : NameValidationError("service name", namespace_, error_msg, invalid_index)
  {}
};

/// Thrown when a service type is invalid.
class InvalidServiceTypeError : public std::runtime_error
{
public:
  InvalidServiceTypeError() : std::runtime_error("Service type is invalid.") {}
  explicit InvalidServiceTypeError(const std::string & msg) : std::runtime_error(msg) {}
};

/// Thrown by code paths that are not implemented.
class UnimplementedError : public std::runtime_error
{
public:
  UnimplementedError() : std::runtime_error("This code is unimplemented.") {}
  explicit UnimplementedError(const std::string & msg) : std::runtime_error(msg) {}
};

/// Common part of the exceptions made from a failed C-layer call.
/**
 * `formatted_message` is `<message>, at <file>:<line>`, the way the C layer's error state
 * prints itself.
 */
class RCLErrorBase
{
public:
  /// @param ret the failing return code (RCL_RET_*).
  /// @param message_ the error text.
  /// @param file_ source file that raised the error.
  /// @param line_ line in @p file_.
  RCLErrorBase(
      rcl_ret_t ret, const std::string & message_, const std::string & file_, size_t line_);
  virtual ~RCLErrorBase() = default;

  rcl_ret_t ret;
  std::string message;
  std::string file;
  size_t line;
  std::string formatted_message;
};

/// Failed C-layer call whose return code has no more specific exception.
/** what() is `<prefix><formatted_message>`; callers pass a prefix ending in ": ". */
class RCLError : public RCLErrorBase, public std::runtime_error
{
public:
  RCLError(const RCLErrorBase & base_exc, const std::string & prefix);
};

/// Failed C-layer call that ran out of memory (RCL_RET_BAD_ALLOC).
class RCLBadAlloc : public RCLErrorBase, public std::bad_alloc
{
public:
  explicit RCLBadAlloc(const RCLErrorBase & base_exc);
};

/// Failed C-layer call given an invalid argument (RCL_RET_INVALID_ARGUMENT).
class RCLInvalidArgument : public RCLErrorBase, public std::invalid_argument
{
public:
  RCLInvalidArgument(const RCLErrorBase & base_exc, const std::string & prefix);
};

/// Malformed ROS command line arguments (RCL_RET_INVALID_ROS_ARGS).
/** what() is `<prefix><formatted_message>`, e.g. `failed to initialize rcl: Couldn't ...`. */
class RCLInvalidROSArgsError : public RCLErrorBase, public std::runtime_error
{
public:
  RCLInvalidROSArgsError(const RCLErrorBase & base_exc, const std::string & prefix);
};

/// Thrown when unknown flags are found among the ROS arguments.
class UnknownROSArgsError : public std::runtime_error
{
public:
  /// what() is `found unknown ROS arguments: '<a>', '<b>'`.
  explicit UnknownROSArgsError(std::vector<std::string> && unknown_ros_args_in)
      : std::runtime_error("found unknown ROS arguments: '" + join(unknown_ros_args_in) + "'"),
        unknown_ros_args(std::move(unknown_ros_args_in))
  {}

  const std::vector<std::string> unknown_ros_args;

private:
  static std::string join(const std::vector<std::string> & args)
  {
    std::string joined;
    for (size_t i = 0; i < args.size(); ++i) {
      joined += (i == 0 ? "" : "', '") + args[i];
    }
    return joined;
  }
};

/// Thrown when an invalid event handle is used.
class InvalidEventError : public std::runtime_error
{
public:
  InvalidEventError() : std::runtime_error("event is invalid") {}
};

/// Thrown when an unregistered event is used where a registered one was expected.
class EventNotRegisteredError : public std::runtime_error
{
public:
  EventNotRegisteredError() : std::runtime_error("event already registered") {}
};

/// Thrown if passed parameters are inconsistent or invalid (e.g. an empty name).
class InvalidParametersException : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Thrown if a parameter value is rejected (range or on-set callback).
class InvalidParameterValueException : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Thrown if a parameter has another type than requested or declared.
class InvalidParameterTypeException : public std::runtime_error
{
public:
  /// what() is `parameter '<name>' has invalid type: <message>`.
  InvalidParameterTypeException(const std::string & name, const std::string message)
      : std::runtime_error("parameter '" + name + "' has invalid type: " + message)
  {}
};

/// Thrown when a statically typed parameter is declared without a value or override.
class UninitializedStaticallyTypedParameterException : public std::runtime_error
{
public:
  /// what() is `Statically typed parameter '<name>' must be initialized.`.
  explicit UninitializedStaticallyTypedParameterException(const std::string & name)
      : std::runtime_error("Statically typed parameter '" + name + "' must be initialized.")
  {}
};

/// Thrown if a parameter is declared twice.
class ParameterAlreadyDeclaredException : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Thrown if a parameter is used without having been declared.
class ParameterNotDeclaredException : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Thrown if a read-only parameter is undeclared.
class ParameterImmutableException : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Thrown if parameters are changed from inside an on-set-parameters callback.
class ParameterModifiedInCallbackException : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Thrown when a declared but uninitialised parameter is read.
class ParameterUninitializedException : public std::runtime_error
{
public:
  /// what() is `parameter '<name>' is not initialized`.
  explicit ParameterUninitializedException(const std::string & name)
      : std::runtime_error("parameter '" + name + "' is not initialized")
  {}
};

/// Thrown if QoS overrides given as parameters are not valid.
class InvalidQosOverridesException : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Thrown if a QoS compatibility check fails.
class QoSCheckCompatibleException : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

}  // namespace exceptions
}  // namespace rclcpp

#endif  // RCLCPP__EXCEPTIONS_HPP_
