// Decoding shared by the fuzz targets: past the input's end every value reads as zero, so a
// short input still decodes to a whole, deterministic case.

#ifndef SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_
#define SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <geometry_msgs/msg/polygon.hpp>
#include <geometry_msgs/msg/pose_stamped.hpp>
#include <opencv2/core/types.hpp>

namespace skelmar_fuzz {

// A fuzz run would otherwise print a record for every sample off the grid.
[[maybe_unused]] const int kQuietLogger = setenv("SPDLOG_STDOUT", "false", 0) +
                                          setenv("SPDLOG_SYSTEMD", "false", 0) +
                                          setenv("SPDLOG_LEVEL", "critical", 0);

struct FuzzInput
{
  const std::uint8_t * data;
  std::size_t size, pos = 0;

  bool empty() const
  {
    return pos == size;
  }
  template <typename T>
  T raw()
  {
    T value{};
    const std::size_t n = std::min(sizeof(T), size - pos);
    if (n > 0) {  // an empty input may come without any buffer at all
      std::memcpy(&value, data + pos, n);
    }
    pos += n;
    return value;
  }
  std::uint8_t byte()
  {
    return raw<std::uint8_t>();
  }
  double inRange(double lo, double hi)
  {
    return lo + (hi - lo) * (raw<std::uint16_t>() / 65535.0);
  }
  /// Mostly a value in [lo, hi]; now and then NaN, an infinity, an extreme or any bit pattern.
  double hostile(double lo, double hi)
  {
    const double max = std::numeric_limits<double>::max(),
                 special[] = {NAN, INFINITY, -INFINITY, max, -max};
    const int kind = byte() % 128;
    return kind < 122 ? inRange(lo, hi) : kind == 122 ? raw<double>() : special[kind - 123];
  }
  /// Up to max points, mostly near the origin, now and then anywhere an int reaches.
  std::vector<cv::Point> points(int max)
  {
    std::vector<cv::Point> list(byte() % (max + 1));
    for (auto & p : list) {
      p = byte() % 4 ? cv::Point{byte() - 100, byte() - 100} : cv::Point{raw<int>(), raw<int>()};
    }
    return list;
  }
  /// Within r of (x, y) and turned about z, in "map"; now and then anything.
  geometry_msgs::msg::PoseStamped pose(double x, double y, double r)
  {
    geometry_msgs::msg::PoseStamped p;
    p.header.frame_id = "map";
    p.pose.position.set__x(x + hostile(-r, r)).set__y(y + hostile(-r, r));
    const double yaw = inRange(-4, 4), z = byte() % 8 == 0 ? hostile(-1, 1) : std::sin(yaw / 2);
    p.pose.orientation.set__z(z).set__w(std::cos(yaw / 2));
    return p;
  }
  /// Up to max vertices within r of (x, y).
  geometry_msgs::msg::Polygon polygon(int max, double x, double y, double r)
  {
    geometry_msgs::msg::Polygon poly;
    poly.points.resize(byte() % (max + 1));
    for (auto & v : poly.points) {
      v.set__x(static_cast<float>(x + hostile(-r, r)))
          .set__y(static_cast<float>(y + hostile(-r, r)));
    }
    return poly;
  }
};

}  // namespace skelmar_fuzz

/// A violated property aborts, so it counts as a crash.
#define FUZZ_CHECK(c)                                                                     \
  ((c) ? void()                                                                           \
       : (std::fprintf(stderr, "%s:%d: property violated: %s\n", __FILE__, __LINE__, #c), \
          std::abort()))

#endif  // SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_
