// Decoding shared by the fuzz targets: past the input's end every byte reads as zero. Hostile
// values and points lie mostly in range, now and then anywhere: NaN, infinite, any bits.

#ifndef SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_
#define SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "skelmar_nav2_tools/base_robot.hpp"  // the message and point types decoded here

// A fuzz run would otherwise print a record for every sample off the grid.
[[maybe_unused]] static const int kQuietLogger =
    setenv("SPDLOG_STDOUT", "false", 0) + setenv("SPDLOG_LEVEL", "critical", 0);

struct FuzzInput
{
  const std::uint8_t * data;            // may be null for an empty input
  std::size_t size, pos = 0, wild = 0;  // wild: hostile values drawn outside their range
  template <typename T = std::uint8_t>
  T next()
  {
    T value;
    auto * bytes = reinterpret_cast<char *>(&value);
    std::generate_n(bytes, sizeof(T), [this] { return pos < size ? data[pos++] : 0; });
    return value;
  }
  double inRange(double lo, double hi)
  {
    return lo + (hi - lo) * (next<std::uint16_t>() / 65535.0);
  }
  double hostile(double lo, double hi)
  {
    const double odd[] = {NAN, INFINITY, -INFINITY, 1e308, -1e308};
    const int kind = next() % 128;
    wild += kind >= 122;
    return kind < 122 ? inRange(lo, hi) : kind == 122 ? next<double>() : odd[kind - 123];
  }
  std::vector<cv::Point> points(int max)
  {
    std::vector<cv::Point> list(next() % (max + 1));
    for (auto & p : list) {
      p = next() % 4 ? cv::Point{next() - 100, next() - 100} : cv::Point{next<int>(), next<int>()};
    }
    return list;
  }
  /// Within r of (x, y) and turned about z, now and then by an unnormalised quaternion.
  geometry_msgs::msg::PoseStamped pose(double x, double y, double r)
  {
    geometry_msgs::msg::PoseStamped p;
    p.pose.position.set__x(x + hostile(-r, r)).set__y(y + hostile(-r, r));
    const double yaw = inRange(-4, 4), z = next() % 8 == 0 ? hostile(-1, 1) : std::sin(yaw / 2);
    p.pose.orientation.set__z(z).set__w(std::cos(yaw / 2));
    return p;
  }
  geometry_msgs::msg::PolygonStamped polygon(int max, double x, double y, double r)
  {
    geometry_msgs::msg::PolygonStamped area;
    area.polygon.points.resize(next() % (max + 1));
    for (auto & v : area.polygon.points) {
      v.set__x(x + hostile(-r, r)).set__y(y + hostile(-r, r));
    }
    return area;
  }
};

#endif  // SKELMAR_NAV2_TOOLS__FUZZ__FUZZ_INPUT_HPP_
