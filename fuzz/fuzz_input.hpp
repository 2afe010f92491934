// Decoding shared by the fuzz targets: past the input's end every value reads as zero, so a
// short input still decodes to a whole, deterministic case.

#ifndef SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_
#define SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace skelmar_fuzz {

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
  template <typename T>
  T raw()
  {
    unsigned char bytes[sizeof(T)] = {};
    const std::size_t n = std::min(sizeof(T), size_ - std::min(pos_, size_));
    if (n > 0) {  // an empty input may come without any buffer at all
      std::memcpy(bytes, data_ + pos_, n);
    }
    pos_ += n;
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }
  double inRange(double lo, double hi)
  {
    return lo + (hi - lo) * (raw<std::uint16_t>() / 65535.0);
  }
  std::size_t count(std::size_t max)
  {
    return raw<std::uint16_t>() % (max + 1);
  }
  /// Usually a value in [lo, hi]; sometimes NaN, an infinity, an extreme or any bit pattern.
  double hostile(double lo, double hi)
  {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    switch (byte() % 16) {
      case 0:
        return std::numeric_limits<double>::quiet_NaN();
      case 1:
        return kInf;
      case 2:
        return -kInf;
      case 3:
        return std::numeric_limits<double>::max() * (byte() % 2 ? 1 : -1);
      case 4:
        return raw<double>();
      default:
        return inRange(lo, hi);
    }
  }
  std::string rest()
  {
    std::string text(
        reinterpret_cast<const char *>(data_) + std::min(pos_, size_),
        size_ - std::min(pos_, size_));
    pos_ = size_;
    return text;
  }

private:
  const std::uint8_t * data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

/// A fuzz run would otherwise print a record for every sample off the grid.
inline void quietLogger()
{
  setenv("SPDLOG_STDOUT", "false", 0);
  setenv("SPDLOG_SYSTEMD", "false", 0);
  setenv("SPDLOG_LEVEL", "critical", 0);
}

}  // namespace skelmar_fuzz

/// A violated property aborts, so it counts as a crash.
#define FUZZ_CHECK(condition)                                                                 \
  do {                                                                                        \
    if (!(condition)) {                                                                       \
      std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                           \
    }                                                                                         \
  } while (false)

#endif  // SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_
