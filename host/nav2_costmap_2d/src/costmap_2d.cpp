#include "nav2_costmap_2d/costmap_2d.hpp"

#include <algorithm>
#include <cstddef>

namespace nav2_costmap_2d {
namespace {

std::size_t cellCount(unsigned int size_x, unsigned int size_y)
{
  return static_cast<std::size_t>(size_x) * size_y;
}

}  // namespace

Costmap2D::Costmap2D(
    unsigned int cells_size_x, unsigned int cells_size_y, double resolution, double origin_x,
    double origin_y, unsigned char default_value)
    : size_x_(cells_size_x),
      size_y_(cells_size_y),
      resolution_(resolution),
      origin_x_(origin_x),
      origin_y_(origin_y),
      costmap_(new unsigned char[cellCount(cells_size_x, cells_size_y)]),
      default_value_(default_value),
      access_(std::make_unique<mutex_t>())
{
  std::fill_n(costmap_.get(), cellCount(size_x_, size_y_), default_value_);
}

Costmap2D::Costmap2D()
    : size_x_(0),
      size_y_(0),
      resolution_(0.0),
      origin_x_(0.0),
      origin_y_(0.0),
      default_value_(0),
      access_(std::make_unique<mutex_t>())
{}

Costmap2D::Costmap2D(const Costmap2D & map) : Costmap2D()
{
  *this = map;
}

Costmap2D & Costmap2D::operator=(const Costmap2D & map)
{
  if (this == &map) {
    return *this;
  }
  std::unique_ptr<unsigned char[]> copy;
  const std::size_t cells = cellCount(map.size_x_, map.size_y_);
  if (map.costmap_) {
    copy.reset(new unsigned char[cells]);
    std::copy_n(map.costmap_.get(), cells, copy.get());
  }
  std::lock_guard<mutex_t> lock(*access_);
  size_x_ = map.size_x_;
  size_y_ = map.size_y_;
  resolution_ = map.resolution_;
  origin_x_ = map.origin_x_;
  origin_y_ = map.origin_y_;
  costmap_ = std::move(copy);
  return *this;
}

Costmap2D::~Costmap2D() = default;

unsigned char Costmap2D::getCost(unsigned int mx, unsigned int my) const
{
  return costmap_[getIndex(mx, my)];
}

unsigned char Costmap2D::getCost(unsigned int index) const
{
  return costmap_[index];
}

void Costmap2D::setCost(unsigned int mx, unsigned int my, unsigned char cost)
{
  costmap_[getIndex(mx, my)] = cost;
}

void Costmap2D::mapToWorld(unsigned int mx, unsigned int my, double & wx, double & wy) const
{
  wx = origin_x_ + (mx + 0.5) * resolution_;
  wy = origin_y_ + (my + 0.5) * resolution_;
}

unsigned char * Costmap2D::getCharMap() const
{
  return costmap_.get();
}

unsigned int Costmap2D::getSizeInCellsX() const
{
  return size_x_;
}

unsigned int Costmap2D::getSizeInCellsY() const
{
  return size_y_;
}

double Costmap2D::getSizeInMetersX() const
{
  return (size_x_ - 1 + 0.5) * resolution_;
}

double Costmap2D::getSizeInMetersY() const
{
  return (size_y_ - 1 + 0.5) * resolution_;
}

double Costmap2D::getOriginX() const
{
  return origin_x_;
}

double Costmap2D::getOriginY() const
{
  return origin_y_;
}

double Costmap2D::getResolution() const
{
  return resolution_;
}

void Costmap2D::resizeMap(
    unsigned int size_x, unsigned int size_y, double resolution, double origin_x, double origin_y)
{
  std::unique_ptr<unsigned char[]> cells(new unsigned char[cellCount(size_x, size_y)]);
  std::fill_n(cells.get(), cellCount(size_x, size_y), default_value_);
  std::lock_guard<mutex_t> lock(*access_);
  size_x_ = size_x;
  size_y_ = size_y;
  resolution_ = resolution;
  origin_x_ = origin_x;
  origin_y_ = origin_y;
  costmap_ = std::move(cells);
}

void Costmap2D::resetMap(unsigned int x0, unsigned int y0, unsigned int xn, unsigned int yn)
{
  std::lock_guard<mutex_t> lock(*access_);
  for (unsigned int y = y0; y < yn; ++y) {
    std::fill(costmap_.get() + getIndex(x0, y), costmap_.get() + getIndex(xn, y), default_value_);
  }
}

}  // namespace nav2_costmap_2d
