#include "pgm_image.hpp"

#include <cctype>
#include <fstream>
#include <iterator>
#include <limits>

#include "skelmar_nav2_gridmap/map_loader.hpp"

namespace skelmar_nav2_gridmap {
namespace {

[[noreturn]] void fail(const std::string & path, const std::string & problem)
{
  throw MapLoadError("map image '" + path + "': " + problem);
}

// Reads the decimal header field at pos, skipping white space and '#' comments before it.
unsigned long headerNumber(
    const std::string & data, std::size_t & pos, const std::string & path, const char * field)
{
  for (;;) {
    while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos]))) {
      ++pos;
    }
    if (pos < data.size() && data[pos] == '#') {
      while (pos < data.size() && data[pos] != '\n' && data[pos] != '\r') {
        ++pos;
      }
      continue;
    }
    break;
  }
  if (pos >= data.size()) {
    fail(path, std::string("truncated header: missing ") + field);
  }
  if (!std::isdigit(static_cast<unsigned char>(data[pos]))) {
    fail(path, std::string("malformed header: ") + field + " is not a number");
  }
  unsigned long value = 0;
  while (pos < data.size() && std::isdigit(static_cast<unsigned char>(data[pos]))) {
    value = value * 10 + static_cast<unsigned long>(data[pos] - '0');
    if (value > std::numeric_limits<unsigned int>::max()) {
      fail(path, std::string("malformed header: ") + field + " is too large");
    }
    ++pos;
  }
  return value;
}

}  // namespace

PgmImage readPgm(const std::string & path)
{
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    fail(path, "cannot open the file");
  }
  const std::string data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) {
    fail(path, "cannot read the file");
  }
  if (data.size() < 2 || data[0] != 'P' || data[1] != '5') {
    fail(path, "not a binary PGM image (the file must start with \"P5\")");
  }
  std::size_t pos = 2;
  PgmImage image;
  image.width = static_cast<unsigned int>(headerNumber(data, pos, path, "width"));
  image.height = static_cast<unsigned int>(headerNumber(data, pos, path, "height"));
  const unsigned long max_value = headerNumber(data, pos, path, "maximum value");
  if (image.width == 0 || image.height == 0) {
    fail(path, "the image is empty");
  }
  if (max_value == 0 || max_value > 65535) {
    fail(path, "malformed header: maximum value must lie in 1..65535");
  }
  image.max_value = static_cast<unsigned int>(max_value);
  // Exactly one white-space character separates the header from the pixels.
  if (pos >= data.size() || !std::isspace(static_cast<unsigned char>(data[pos]))) {
    fail(path, "truncated header: no white space after the maximum value");
  }
  ++pos;

  const unsigned long long cells = static_cast<unsigned long long>(image.width) * image.height;
  if (cells > std::numeric_limits<unsigned int>::max()) {
    fail(path, "the image has more pixels than a costmap can index");
  }
  const unsigned long long bytes_per_pixel = image.max_value > 255 ? 2 : 1;
  const unsigned long long available = data.size() - pos;
  if (available < cells * bytes_per_pixel) {
    fail(
        path, "truncated pixel data: " + std::to_string(cells * bytes_per_pixel) +
                  " bytes expected, " + std::to_string(available) + " present");
  }
  image.pixels.resize(static_cast<std::size_t>(cells));
  const auto * raw = reinterpret_cast<const unsigned char *>(data.data() + pos);
  for (std::size_t i = 0; i < image.pixels.size(); ++i) {
    // Two-byte samples are stored most significant byte first.
    image.pixels[i] = bytes_per_pixel == 1 ? raw[i] : (raw[2 * i] << 8 | raw[2 * i + 1]);
  }
  for (std::uint16_t pixel : image.pixels) {
    if (pixel > image.max_value) {
      fail(path, "a pixel exceeds the maximum value of the header");
    }
  }
  return image;
}

}  // namespace skelmar_nav2_gridmap
