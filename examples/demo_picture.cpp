#include "demo_picture.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <nav2_costmap_2d/cost_values.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace skelmar_demo {
namespace {

constexpr int kMarginCells = 30;
constexpr int kMinPictureSide = 640;

cv::Vec3b costColour(unsigned char cost)
{
  if (cost == nav2_costmap_2d::NO_INFORMATION) {
    return {170, 170, 170};
  }
  if (cost >= nav2_costmap_2d::INSCRIBED_INFLATED_OBSTACLE) {
    return {40, 40, 40};
  }
  // Free space white, intermediate costs darker in proportion.
  const auto shade = static_cast<unsigned char>(250 - cost * 200 / 252);
  return {shade, shade, shade};
}

const TraceLayer * layerOf(const std::vector<TraceLayer> & layers, std::uint8_t value)
{
  for (const auto & layer : layers) {
    if (layer.value == value) {
      return &layer;
    }
  }
  return nullptr;
}

// A white panel to the right of the map with one line per layer.
cv::Mat withLegend(const cv::Mat & map, const std::vector<TraceLayer> & layers)
{
  constexpr int kPanelWidth = 280;
  constexpr int kLine = 24;
  const int height = std::max(map.rows, kLine * static_cast<int>(layers.size() + 3) + 20);
  cv::Mat picture(height, map.cols + kPanelWidth, CV_8UC3, cv::Scalar(255, 255, 255));
  map.copyTo(picture(cv::Rect(0, 0, map.cols, map.rows)));
  int y = 10 + kLine;
  for (const auto & layer : layers) {
    const int x = map.cols + 14;
    cv::rectangle(
        picture, {x, y - 14}, {x + 18, y + 2},
        {double(layer.blue), double(layer.green), double(layer.red)}, cv::FILLED);
    cv::putText(
        picture, layer.label, {x + 26, y}, cv::FONT_HERSHEY_SIMPLEX, 0.45, {20, 20, 20}, 1,
        cv::LINE_AA);
    y += kLine;
  }
  // The map's own shades.
  const std::pair<unsigned char, const char *> shades[] = {
      {costColour(nav2_costmap_2d::FREE_SPACE)[0], "map: free"},
      {costColour(nav2_costmap_2d::LETHAL_OBSTACLE)[0], "map: occupied"},
      {costColour(nav2_costmap_2d::NO_INFORMATION)[0], "map: unknown"}};
  for (const auto & [shade, label] : shades) {
    const int x = map.cols + 14;
    cv::rectangle(picture, {x, y - 14}, {x + 18, y + 2}, cv::Scalar::all(shade), cv::FILLED);
    cv::rectangle(picture, {x, y - 14}, {x + 18, y + 2}, cv::Scalar::all(90), 1);
    cv::putText(
        picture, label, {x + 26, y}, cv::FONT_HERSHEY_SIMPLEX, 0.45, {20, 20, 20}, 1, cv::LINE_AA);
    y += kLine;
  }
  return picture;
}

}  // namespace

void writeDemoPicture(
    const nav2_costmap_2d::Costmap2D & costmap, const nav_msgs::msg::OccupancyGrid & trace,
    const std::vector<TraceLayer> & layers, const std::string & path)
{
  const int width = static_cast<int>(costmap.getSizeInCellsX());
  const int height = static_cast<int>(costmap.getSizeInCellsY());
  if (static_cast<int>(trace.info.width) != width ||
      static_cast<int>(trace.info.height) != height ||
      trace.data.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
    throw std::runtime_error("the trace grid does not lie over the costmap");
  }

  // Grid row 0 is the lowest y; the picture puts north up.
  cv::Mat picture(height, width, CV_8UC3);
  int min_x = width;
  int min_y = height;
  int max_x = -1;
  int max_y = -1;
  for (int y = 0; y < height; ++y) {
    auto * row = picture.ptr<cv::Vec3b>(height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const auto index = static_cast<std::size_t>(y) * width + x;
      const auto value = static_cast<std::uint8_t>(trace.data[index]);
      const TraceLayer * layer = value != 0 ? layerOf(layers, value) : nullptr;
      if (layer == nullptr) {
        row[x] = costColour(costmap.getCost(x, y));
        continue;
      }
      row[x] = {layer->blue, layer->green, layer->red};
      min_x = std::min(min_x, x);
      max_x = std::max(max_x, x);
      min_y = std::min(min_y, height - 1 - y);
      max_y = std::max(max_y, height - 1 - y);
    }
  }

  cv::Rect crop(0, 0, width, height);
  if (max_x >= 0) {
    const int left = std::max(0, min_x - kMarginCells);
    const int top = std::max(0, min_y - kMarginCells);
    const int right = std::min(width, max_x + kMarginCells + 1);
    const int bottom = std::min(height, max_y + kMarginCells + 1);
    crop = cv::Rect(left, top, right - left, bottom - top);
  }
  const int side = std::max(crop.width, crop.height);
  const int scale = std::max(1, (kMinPictureSide + side - 1) / side);
  cv::Mat scaled;
  cv::resize(picture(crop), scaled, {}, scale, scale, cv::INTER_NEAREST);
  if (!cv::imwrite(path, withLegend(scaled, layers))) {
    throw std::runtime_error("cannot write the picture to '" + path + "'");
  }
}

}  // namespace skelmar_demo
