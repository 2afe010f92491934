#include "skelmar_nav2_tools/trace_mat.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include <nav2_costmap_2d/costmap_2d.hpp>

#include "node_thread_start.hpp"

namespace skelmar_trace {
namespace {

// Longest segment, in steps along its longer axis, that the line walk completes.
constexpr std::int64_t kMaxWalkSteps = 10001;

// Appends the cells of the integer line from start to end, both included, in walking order.
// The walk takes exactly max(dx, dy) steps, so a segment that would still be under way at
// its 10001st step is refused before walking; the caller colours nothing of it either way.
// The extents are taken in 64 bits so that far-off points cannot overflow.
void bresenham(const cv::Point & start, const cv::Point & end, std::vector<cv::Point> & cells)
{
  const std::int64_t dx = std::llabs(static_cast<std::int64_t>(end.x) - start.x);
  const std::int64_t dy = std::llabs(static_cast<std::int64_t>(end.y) - start.y);
  if (std::max(dx, dy) > kMaxWalkSteps) {
    throw std::runtime_error("bresenham is out of iteration(10000)");
  }
  const int sx = start.x < end.x ? 1 : -1;
  const int sy = start.y < end.y ? 1 : -1;
  std::int64_t err = dx - dy;
  cv::Point cell = start;
  cells.reserve(cells.size() + static_cast<std::size_t>(std::max(dx, dy)) + 1);
  cells.push_back(cell);
  while (cell != end) {
    const std::int64_t e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      cell.x += sx;
    }
    if (e2 < dx) {
      err += dx;
      cell.y += sy;
    }
    cells.push_back(cell);
  }
}

bool inside(const cv::Mat & mat, const cv::Point & p)
{
  return p.x >= 0 && p.y >= 0 && p.x < mat.cols && p.y < mat.rows;
}

nav2_costmap_2d::Costmap2D & costmapOf(const skelmar_nav2_gridmap::MultiGridMap * multi_map)
{
  if (multi_map == nullptr || multi_map->costmap == nullptr) {
    throw std::runtime_error("trace raster: the grid map holds no costmap");
  }
  return *multi_map->costmap;
}

const std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> & requireGridMap(
    const std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> & gridmap)
{
  if (!gridmap) {
    throw std::invalid_argument("trace raster: the grid map is null");
  }
  return gridmap;
}

}  // namespace

TraceMat::TraceMat(
    const std::shared_ptr<skelmar_nav2_gridmap::GridMapROS> & gridmap, std::string name)
    : name_(std::move(name)), gridmap_(requireGridMap(gridmap))
{
  node_ = std::make_unique<rclcpp::Node>("trace_" + name_);
  publisher_ = node_->create_publisher<nav_msgs::msg::OccupancyGrid>(
      "trace/trace_" + name_, rclcpp::QoS(rclcpp::KeepLast(1)));
  node_thread_ = skelmar_internal::startNodeThread(node_->get_node_base_interface());
  try {
    reset();
  } catch (...) {
    // Members die in reverse order, node before thread: stop the thread while the node lives.
    node_thread_.reset();
    throw;
  }
}

TraceMat::~TraceMat()
{
  // The thread spins node_, which is declared after it and would otherwise die first.
  node_thread_.reset();
}

void TraceMat::reset()
{
  const auto & costmap = costmapOf(gridmap_->multi_map.get());
  const int rows = static_cast<int>(costmap.getSizeInCellsY());
  const int cols = static_cast<int>(costmap.getSizeInCellsX());
  if (mat_.rows == rows && mat_.cols == cols) {
    mat_.setTo(cv::Scalar::all(0));
  } else {
    mat_ = cv::Mat::zeros(rows, cols, CV_8UC1);
  }
  has_subscribers_ = publisher_->get_subscription_count() > 0;
}

void TraceMat::setMatPointColor(const cv::Point & p, char color)
{
  if (!has_subscribers_) {
    return;
  }
  if (inside(mat_, p)) {
    mat_.ptr<char>(p.y)[p.x] = color;
  }
}

void TraceMat::setMatPointsColor(const std::vector<cv::Point> & points, char color)
{
  if (!has_subscribers_) {
    return;
  }
  colorCells(points, color);
}

void TraceMat::setMatLineColor(const std::vector<cv::Point> & points, char color)
{
  if (!has_subscribers_) {
    return;
  }
  drawSegments(points, color, false);
}

void TraceMat::setMatPolygonColor(const std::vector<cv::Point> & points, char color)
{
  if (!has_subscribers_) {
    return;
  }
  drawSegments(points, color, true);
}

unsigned char TraceMat::getMatColor(const cv::Point & p) const
{
  return inside(mat_, p) ? mat_.ptr<unsigned char>(p.y)[p.x] : 0;
}

void TraceMat::setMat(const cv::Mat & mat, bool invert)
{
  if (mat.type() != CV_8UC1) {
    throw std::invalid_argument(
        "trace raster: setMat needs a CV_8UC1 matrix, got " + cv::typeToString(mat.type()));
  }
  if (mat.dims > 2) {
    throw std::invalid_argument(
        "trace raster: setMat needs a 2-D matrix, got " + std::to_string(mat.dims) + " dimensions");
  }
  if (invert) {
    cv::bitwise_not(mat, mat_);
  } else {
    mat_ = mat.clone();
  }
}

void TraceMat::publishCVMatAsGrid()
{
  if (!has_subscribers_) {
    return;
  }
  const auto multi_map = gridmap_->multi_map;
  const auto & costmap = costmapOf(multi_map.get());
  const auto clock = node_->get_clock();
  const float resolution = static_cast<float>(costmap.getResolution());

  grid_msg_.header.frame_id = gridmap_->getGlobalFrameID();
  grid_msg_.header.stamp = clock->now();
  grid_msg_.info.resolution = resolution;
  grid_msg_.info.width = static_cast<std::uint32_t>(mat_.cols);
  grid_msg_.info.height = static_cast<std::uint32_t>(mat_.rows);
  double wx = 0.0;
  double wy = 0.0;
  costmap.mapToWorld(0, 0, wx, wy);
  // Half a cell in single precision, as the published resolution is.
  const double half_cell = static_cast<double>(resolution * 0.5F);
  grid_msg_.info.origin.position.x = wx - half_cell;
  grid_msg_.info.origin.position.y = wy - half_cell;
  grid_msg_.info.origin.position.z = 0.0;
  grid_msg_.info.origin.orientation = geometry_msgs::msg::Quaternion();

  const auto width = static_cast<std::size_t>(mat_.cols);
  const auto height = static_cast<std::size_t>(mat_.rows);
  grid_msg_.data.resize(width * height);
  if (mat_.isContinuous() && mat_.elemSize() == 1) {
    if (!grid_msg_.data.empty()) {
      std::memcpy(grid_msg_.data.data(), mat_.data, grid_msg_.data.size());
    }
  } else {
    // Only the first width bytes of each row: a raster written directly through mat_ may
    // have a padded stride or wider elements.
    for (std::size_t row = 0; row < height; ++row) {
      std::memcpy(grid_msg_.data.data() + row * width, mat_.ptr(static_cast<int>(row)), width);
    }
  }
  publisher_->publish(grid_msg_);
}

void TraceMat::drawSegments(const std::vector<cv::Point> & points, char color, bool closed)
{
  if (points.empty()) {
    return;
  }
  // One cell list serves every segment of the call; clearing keeps its storage.
  std::vector<cv::Point> cells;
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    setMatPointColor(points[i], color);
    cells.clear();
    bresenham(points[i], points[i + 1], cells);
    colorCells(cells, color);
  }
  setMatPointColor(points.back(), color);
  if (closed) {
    cells.clear();
    bresenham(points.back(), points.front(), cells);
    colorCells(cells, color);
  }
}

void TraceMat::colorCells(const std::vector<cv::Point> & cells, char color)
{
  for (const auto & cell : cells) {
    if (inside(mat_, cell)) {
      mat_.ptr<char>(cell.y)[cell.x] = color;
    }
  }
}

}  // namespace skelmar_trace
