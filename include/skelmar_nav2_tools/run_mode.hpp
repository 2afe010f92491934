#ifndef SKELMAR_NAV2_TOOLS__RUN_MODE_HPP_
#define SKELMAR_NAV2_TOOLS__RUN_MODE_HPP_

#include <cstdint>
#include <istream>
#include <ostream>

/// @brief The robot's operating mode, for applications built on the library.
enum class RunMode : std::int32_t {
  NONE = -1,
  NAVIGATION = 0,
  STATICHUICOVERAGE = 1,
};

/**
 * @brief Writes the qualified enumerator name ("RunMode::NAVIGATION"), or nothing for a value
 * outside the enumeration, then a newline, and flushes the stream.
 * @return The stream.
 */
std::ostream & operator<<(std::ostream & os, RunMode mode);

/**
 * @brief Reads one integer code, which is the enumerator value plus one: 0 sets NONE,
 * 1 NAVIGATION, 2 STATICHUICOVERAGE; any other integer leaves `mode` unchanged.
 *
 * Input that holds no integer reads as 0 and therefore sets NONE; the stream keeps the failure
 * state of the extraction.
 * @return The stream.
 */
std::istream & operator>>(std::istream & is, RunMode & mode);

#endif  // SKELMAR_NAV2_TOOLS__RUN_MODE_HPP_
