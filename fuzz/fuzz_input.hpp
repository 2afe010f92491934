// Decoding of fuzz inputs into the values the targets feed the code under test.

#ifndef SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_
#define SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace skelmar_fuzz {

/// Reads values from the front of a fuzz input; past its end every value reads as zero, so a
/// short input still decodes to a whole, deterministic case.
class FuzzInput
{
public:
  FuzzInput(const std::uint8_t * data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const
  {
    return pos_ >= size_;
  }

  std::uint8_t byte()
  {
    return pos_ < size_ ? data_[pos_++] : 0;
  }

  /// The next sizeof(T) bytes as they lie in memory (zero-padded at the end).
  template <typename T>
  T raw()
  {
    unsigned char bytes[sizeof(T)] = {};
    const std::size_t n = std::min(sizeof(T), size_ - std::min(pos_, size_));
    if (n > 0) {
      std::memcpy(bytes, data_ + pos_, n);
    }
    pos_ += n;
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }

  /// A value in [lo, hi] at a 1/65535 step of the interval.
  double inRange(double lo, double hi)
  {
    return lo + (hi - lo) * (raw<std::uint16_t>() / 65535.0);
  }

  /// A count in [0, max].
  std::size_t count(std::size_t max)
  {
    return max == 0 ? 0 : raw<std::uint16_t>() % (max + 1);
  }

  /// Usually a value in [lo, hi]; sometimes one a caller should never pass but might: NaN,
  /// an infinity, an extreme or tiny magnitude, or any bit pattern at all.
  double hostile(double lo, double hi)
  {
    switch (byte() % 16) {
      case 0:
        return std::numeric_limits<double>::quiet_NaN();
      case 1:
        return std::numeric_limits<double>::infinity();
      case 2:
        return -std::numeric_limits<double>::infinity();
      case 3:
        return std::numeric_limits<double>::max() * (byte() % 2 ? 1 : -1);
      case 4:
        return std::numeric_limits<double>::denorm_min() * (byte() % 2 ? 1 : -1);
      case 5:
        return raw<double>();
      default:
        return inRange(lo, hi);
    }
  }

  /// The rest of the input as text.
  std::string rest()
  {
    if (pos_ >= size_) {
      return {};
    }
    std::string text(reinterpret_cast<const char *>(data_ + pos_), size_ - pos_);
    pos_ = size_;
    return text;
  }

private:
  const std::uint8_t * data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

/// Silences the library's logger before its first use, unless the environment says otherwise:
/// a fuzz run would otherwise print a record for every sample off the grid.
inline void quietLogger()
{
  setenv("SPDLOG_STDOUT", "false", 0);
  setenv("SPDLOG_SYSTEMD", "false", 0);
  setenv("SPDLOG_LEVEL", "critical", 0);
}

}  // namespace skelmar_fuzz

/// A property that must hold for every input; a violation aborts, so it counts as a crash.
#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)

#endif  // SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_
