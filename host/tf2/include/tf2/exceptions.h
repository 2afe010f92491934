// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2__EXCEPTIONS_H_
#define TF2__EXCEPTIONS_H_

#include <cstdint>
#include <stdexcept>
#include <string>

/// @file
/// @brief Error codes and exception types raised by the transform library.

namespace tf2 {
/// @brief Outcome of a transform query; the un-prefixed names are kept for old callers.
enum class TF2Error : std::uint8_t {
  TF2_NO_ERROR = 0,
  TF2_LOOKUP_ERROR = 1,
  TF2_CONNECTIVITY_ERROR = 2,
  TF2_EXTRAPOLATION_ERROR = 3,
  TF2_INVALID_ARGUMENT_ERROR = 4,
  TF2_TIMEOUT_ERROR = 5,
  TF2_TRANSFORM_ERROR = 6,

  NO_ERROR [[deprecated("Use TF2_NO_ERROR instead")]] = 0,
  LOOKUP_ERROR [[deprecated("Use TF2_LOOKUP_ERROR instead")]] = 1,
  CONNECTIVITY_ERROR [[deprecated("Use TF2_CONNECTIVITY_ERROR instead")]] = 2,
  EXTRAPOLATION_ERROR [[deprecated("Use TF2_EXTRAPOLATION_ERROR instead")]] = 3,
  INVALID_ARGUMENT_ERROR [[deprecated("Use TF2_INVALID_ARGUMENT_ERROR instead")]] = 4,
  TIMEOUT_ERROR [[deprecated("Use TF2_TIMEOUT_ERROR instead")]] = 5,
  TRANSFORM_ERROR [[deprecated("Use TF2_TRANSFORM_ERROR instead")]] = 6
};

/// @brief Base of every transform library error; what() carries the full description.
class TransformException : public std::runtime_error
{
public:
  explicit TransformException(const std::string errorDescription)
      : std::runtime_error(errorDescription)
  {}
};

/// @brief The two frames exist but are not part of the same tree.
class ConnectivityException : public TransformException
{
public:
  explicit ConnectivityException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {}
};

/// @brief A frame is unknown to the buffer, or the tree is malformed (a loop).
class LookupException : public TransformException
{
public:
  explicit LookupException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {}
};

/// @brief The requested time lies outside the data held for some frame of the chain.
class ExtrapolationException : public TransformException
{
public:
  explicit ExtrapolationException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {}
};

/// @brief An argument is malformed, e.g. an empty frame id or one with a leading '/'.
class InvalidArgumentException : public TransformException
{
public:
  explicit InvalidArgumentException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {}
};

/// @brief A wait for a transform ran out of time.
class TimeoutException : public TransformException
{
public:
  explicit TimeoutException(const std::string errorDescription)
      : tf2::TransformException(errorDescription)
  {}
};
}  // namespace tf2

#endif  // TF2__EXCEPTIONS_H_
