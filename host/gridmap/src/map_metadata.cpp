#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <string>

#include "skelmar_nav2_gridmap/map_loader.hpp"

namespace skelmar_nav2_gridmap {
namespace {

[[noreturn]] void fail(const std::string & path, const std::string & problem)
{
  throw MapLoadError("map file '" + path + "': " + problem);
}

YAML::Node requiredKey(const YAML::Node & doc, const std::string & path, const char * key)
{
  const YAML::Node node = doc[key];
  if (!node) {
    fail(path, std::string("missing key '") + key + "'");
  }
  return node;
}

template <typename T>
T scalar(const YAML::Node & node, const std::string & path, const char * key, const char * kind)
{
  try {
    return node.as<T>();
  } catch (const YAML::Exception &) {
    fail(path, std::string("key '") + key + "' is not " + kind);
  }
}

double finiteNumber(const YAML::Node & doc, const std::string & path, const char * key)
{
  const double value = scalar<double>(requiredKey(doc, path, key), path, key, "a number");
  if (!std::isfinite(value)) {
    fail(path, std::string("key '") + key + "' is not finite");
  }
  return value;
}

bool negateFlag(const YAML::Node & doc, const std::string & path)
{
  // map_server reads negate as an integer and falls back to a boolean.
  const YAML::Node node = requiredKey(doc, path, "negate");
  try {
    return node.as<int>() != 0;
  } catch (const YAML::Exception &) {
    return scalar<bool>(node, path, "negate", "an integer or a boolean");
  }
}

MapMode mode(const YAML::Node & doc, const std::string & path)
{
  const YAML::Node node = doc["mode"];
  if (!node) {
    return MapMode::TRINARY;
  }
  std::string name = scalar<std::string>(node, path, "mode", "a string");
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) {
    return static_cast<char>(std::tolower(c));
  });
  if (name == "trinary") {
    return MapMode::TRINARY;
  }
  if (name == "scale") {
    return MapMode::SCALE;
  }
  if (name == "raw") {
    return MapMode::RAW;
  }
  fail(path, "unknown mode '" + name + "' (expected trinary, scale or raw)");
}

}  // namespace

MapMetadata loadMapMetadata(const std::string & yaml_path)
{
  YAML::Node doc;
  try {
    doc = YAML::LoadFile(yaml_path);
  } catch (const YAML::BadFile &) {
    fail(yaml_path, "cannot open the file");
  } catch (const YAML::Exception & e) {
    fail(yaml_path, std::string("not valid YAML: ") + e.what());
  }
  if (!doc.IsMap()) {
    fail(yaml_path, "not a YAML mapping of map keys");
  }

  MapMetadata map;
  map.image =
      scalar<std::string>(requiredKey(doc, yaml_path, "image"), yaml_path, "image", "a string");
  if (map.image.empty()) {
    fail(yaml_path, "key 'image' is empty");
  }
  if (std::filesystem::path(map.image).is_relative()) {
    map.image = (std::filesystem::path(yaml_path).parent_path() / map.image).string();
  }

  map.resolution = finiteNumber(doc, yaml_path, "resolution");
  if (map.resolution <= 0.0) {
    fail(yaml_path, "key 'resolution' must be positive");
  }

  const YAML::Node origin = requiredKey(doc, yaml_path, "origin");
  if (!origin.IsSequence() || origin.size() != 3) {
    fail(yaml_path, "key 'origin' must be a list of three numbers [x, y, yaw]");
  }
  const double values[3] = {
      scalar<double>(origin[0], yaml_path, "origin", "a list of numbers"),
      scalar<double>(origin[1], yaml_path, "origin", "a list of numbers"),
      scalar<double>(origin[2], yaml_path, "origin", "a list of numbers")};
  for (double value : values) {
    if (!std::isfinite(value)) {
      fail(yaml_path, "key 'origin' holds a value that is not finite");
    }
  }
  map.origin_x = values[0];
  map.origin_y = values[1];
  map.origin_yaw = values[2];

  map.negate = negateFlag(doc, yaml_path);
  map.occupied_thresh = finiteNumber(doc, yaml_path, "occupied_thresh");
  map.free_thresh = finiteNumber(doc, yaml_path, "free_thresh");
  map.mode = mode(doc, yaml_path);
  if (map.mode == MapMode::SCALE && !(map.free_thresh < map.occupied_thresh)) {
    // Scale mode divides by the distance between the thresholds.
    fail(yaml_path, "scale mode needs free_thresh below occupied_thresh");
  }
  return map;
}

}  // namespace skelmar_nav2_gridmap
