#include "demo_scene.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <thread>

#include <geometry_msgs/msg/polygon_stamped.hpp>
#include <geometry_msgs/msg/transform_stamped.hpp>
#include <geometry_msgs/msg/twist.hpp>
#include <skelmar_nav2_gridmap/map_loader.hpp>
#include <skelmar_nav2_protocol/msg/multi_paths.hpp>
#include <skelmar_nav2_tools/trace_mat.hpp>
#include <skelmar_protocol/msg/dynamic_obstacles.hpp>
#include <skelmar_protocol/msg/planner_speed_control.hpp>

#include "demo_picture.hpp"

namespace skelmar_demo {
namespace {

// The robot's rectangle: length along its heading, width across it (metres).
constexpr double kLength = 0.6;
constexpr double kWidth = 0.5;
// Search window around a blocked goal and the permitted area's side (metres).
constexpr double kWindow = 2.0;
constexpr double kAreaSide = 6.0;
constexpr double kPathStep = 0.05;
constexpr double kThinningSpacing = 0.5;
constexpr double kSpeedRatio = 0.5;

enum TraceColour : char {
  kStartColour = 1,
  kGoalColour,
  kBlockedColour,
  kPathColour,
  kObstacleColour,
  kWindowColour,
};

const std::vector<TraceLayer> kLayers = {
    {kStartColour, 60, 170, 40, "robot at the start"},
    {kGoalColour, 200, 120, 0, "robot at the moved goal"},
    {kBlockedColour, 30, 30, 220, "robot at the blocked goal"},
    {kPathColour, 0, 150, 255, "path (start to goal)"},
    {kObstacleColour, 180, 40, 180, "dynamic obstacles"},
    {kWindowColour, 140, 140, 0, "goal search window"},
};

// Default scene on the shipped warehouse map: a goal inside a shelf, a start in the aisle.
constexpr PlanarPose kWarehouseGoal{-2.7, -12.0, M_PI / 2};
constexpr PlanarPose kWarehouseStart{-5.5, -6.0, -M_PI / 2};

bool endsWith(const std::string & text, const std::string & suffix)
{
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

geometry_msgs::msg::PoseStamped stampedPose(
    BaseRobot & robot, double x, double y, double yaw, const rclcpp::Time & stamp)
{
  geometry_msgs::msg::PoseStamped pose;
  pose.header.frame_id = "map";
  pose.header.stamp = stamp;
  pose.pose.position.x = x;
  pose.pose.position.y = y;
  pose.pose.orientation = robot.eulerToQuaternion(yaw, 0.0, 0.0);
  return pose;
}

geometry_msgs::msg::PolygonStamped square(double cx, double cy, double side)
{
  geometry_msgs::msg::PolygonStamped area;
  area.header.frame_id = "map";
  const double h = side / 2;
  for (const auto & [dx, dy] : {std::pair{-h, -h}, {h, -h}, {h, h}, {-h, h}}) {
    geometry_msgs::msg::Point32 corner;
    corner.x = static_cast<float>(cx + dx);
    corner.y = static_cast<float>(cy + dy);
    area.polygon.points.push_back(corner);
  }
  return area;
}

// Map cells of world points; points outside the grid are left out.
template <typename PointRange, typename GetXY>
std::vector<cv::Point> cellsOf(
    const nav2_costmap_2d::Costmap2D & costmap, const PointRange & points, GetXY get_xy)
{
  std::vector<cv::Point> cells;
  for (const auto & point : points) {
    const auto [x, y] = get_xy(point);
    unsigned int mx = 0;
    unsigned int my = 0;
    if (costmap.worldToMap(x, y, mx, my)) {
      cells.emplace_back(static_cast<int>(mx), static_cast<int>(my));
    }
  }
  return cells;
}

}  // namespace

DemoScene::DemoScene(const DemoOptions & options) : options_(options)
{
  const bool default_map = endsWith(options_.map_yaml, "warehouse.yaml");
  if (!options_.goal && !default_map) {
    throw std::invalid_argument("--goal is needed with a map other than the warehouse");
  }
  goal_ = options_.goal.value_or(kWarehouseGoal);
  start_ = options_.start.value_or(
      default_map && !options_.goal ? kWarehouseStart
                                    : PlanarPose{goal_.x - 2.0, goal_.y, goal_.yaw});

  auto costmap = skelmar_nav2_gridmap::loadMap(options_.map_yaml);
  for (const auto & [name, pose] : {std::pair{"goal", goal_}, {"start", start_}}) {
    unsigned int mx = 0;
    unsigned int my = 0;
    if (!costmap->worldToMap(pose.x, pose.y, mx, my)) {
      char text[200];
      std::snprintf(
          text, sizeof(text), "the %s (%.2f, %.2f) lies outside the map (%.2f..%.2f, %.2f..%.2f)",
          name, pose.x, pose.y, costmap->getOriginX(),
          costmap->getOriginX() + costmap->getSizeInCellsX() * costmap->getResolution(),
          costmap->getOriginY(),
          costmap->getOriginY() + costmap->getSizeInCellsY() * costmap->getResolution());
      throw std::invalid_argument(text);
    }
  }
  std::printf(
      "1. Map %s: %u x %u cells of %.3f m, origin (%.2f, %.2f)\n", options_.map_yaml.c_str(),
      costmap->getSizeInCellsX(), costmap->getSizeInCellsY(), costmap->getResolution(),
      costmap->getOriginX(), costmap->getOriginY());
  gridmap_ = std::make_shared<skelmar_nav2_gridmap::GridMapROS>(costmap, "map");

  for (const auto & [x, y] :
       {std::pair{kLength / 2, kWidth / 2},
        {kLength / 2, -kWidth / 2},
        {-kLength / 2, -kWidth / 2},
        {-kLength / 2, kWidth / 2}}) {
    geometry_msgs::msg::Point corner;
    corner.x = x;
    corner.y = y;
    footprint_.push_back(corner);
  }

  engine_ = std::make_unique<skelmar_communicator::CommunicatorEngine>();
  decision_ = std::make_unique<skelmar_communicator::CommunicatorDecision>();
  node_ = std::make_shared<rclcpp::Node>("skelmar_nav2_demo");
  executor_.add_node(node_);
  // The tracker works in "odom", which sits slightly shifted and turned in "map". Sent now,
  // so that the engine's transform listener holds it when the first obstacles arrive.
  tf_broadcaster_ = std::make_unique<tf2_ros::StaticTransformBroadcaster>(node_);
  geometry_msgs::msg::TransformStamped odom_in_map;
  odom_in_map.header.frame_id = "map";
  odom_in_map.header.stamp = node_->now();
  odom_in_map.child_frame_id = "odom";
  odom_in_map.transform.translation.x = 0.4;
  odom_in_map.transform.translation.y = -0.3;
  odom_in_map.transform.rotation = robot_.eulerToQuaternion(0.05, 0.0, 0.0);
  tf_broadcaster_->sendTransform(odom_in_map);
  std::printf(
      "2. Bundles running: engine node %s, decision node %s\n",
      engine_->node->get_fully_qualified_name(), decision_->node->get_fully_qualified_name());
}

DemoScene::~DemoScene()
{
  executor_.remove_node(node_);
}

template <typename ConditionT>
bool DemoScene::spinUntil(ConditionT condition)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    executor_.spin_some();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

DemoResult DemoScene::run()
{
  DemoResult result;
  moveBlockedGoal(result);
  buildAndPublishPath(result);
  trackObstacles(result);
  scaleVelocity(result);
  drawTrace(result);
  return result;
}

void DemoScene::moveBlockedGoal(DemoResult & result)
{
  auto goal = stampedPose(robot_, goal_.x, goal_.y, goal_.yaw, node_->now());
  result.blocked_goal = goal;
  result.goal_was_blocked = !robot_.isFreeArea(goal, kLength, kWidth, gridmap_);
  const auto area = square(goal_.x, goal_.y, kAreaSide);

  const auto begin = std::chrono::steady_clock::now();
  result.goal_found =
      robot_.isFuzzyGoalFree(goal, kWindow, kWindow, kLength, kWidth, gridmap_, area);
  result.search_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin).count();
  result.moved_goal = goal;

  std::printf(
      "3. Goal (%.2f, %.2f) is %s for a %.1f x %.1f m robot; ", goal_.x, goal_.y,
      result.goal_was_blocked ? "blocked" : "free", kLength, kWidth);
  if (result.goal_found) {
    std::printf(
        "nearest free position (%.2f, %.2f), %.2f m away, found in %.2f ms\n", goal.pose.position.x,
        goal.pose.position.y, robot_.calDistance(result.blocked_goal, goal), result.search_ms);
  } else {
    std::printf(
        "no free position in the %.0f x %.0f m window (%.2f ms)\n", kWindow, kWindow,
        result.search_ms);
  }
}

void DemoScene::buildAndPublishPath(DemoResult & result)
{
  const auto & goal = result.moved_goal.pose.position;
  const rclcpp::Time stamp = node_->now();
  std::vector<geometry_msgs::msg::PoseStamped> poses;
  // Down the aisle first, then across to the goal.
  const std::pair<double, double> corners[] = {
      {start_.x, start_.y}, {start_.x, goal.y}, {goal.x, goal.y}};
  for (int leg = 0; leg < 2; ++leg) {
    const auto [x0, y0] = corners[leg];
    const auto [x1, y1] = corners[leg + 1];
    const double length = std::hypot(x1 - x0, y1 - y0);
    const double yaw = std::atan2(y1 - y0, x1 - x0);
    const int steps = static_cast<int>(std::ceil(length / kPathStep));
    for (int i = leg == 0 ? 0 : 1; i <= steps; ++i) {
      // The last pose lies exactly on the corner, whatever the rounding of the steps.
      const double t = static_cast<double>(i) / std::max(steps, 1);
      const double x = i >= steps ? x1 : x0 + t * (x1 - x0);
      const double y = i >= steps ? y1 : y0 + t * (y1 - y0);
      poses.push_back(stampedPose(robot_, x, y, yaw, stamp));
    }
  }
  result.path.header.frame_id = "map";
  result.path.header.stamp = stamp;
  robot_.convertToPath(poses, result.path);
  robot_.dilutePath(result.path, result.thinned_path, kThinningSpacing);

  nav_msgs::msg::Path received;
  bool arrived = false;
  auto subscription = node_->create_subscription<nav_msgs::msg::Path>(
      "skelmar_nav2_planning/global_planning_path", rclcpp::QoS(1),
      [&](const nav_msgs::msg::Path & path) {
        received = path;
        arrived = true;
      });
  skelmar_nav2_protocol::msg::MultiPaths plan;
  plan.paths.resize(1);
  plan.paths[0].header = result.thinned_path.header;
  plan.paths[0].poses = result.thinned_path.poses;
  engine_->planning->publishGlobalPath(plan);
  spinUntil([&] { return arrived; });
  result.received_path_poses = received.poses.size();

  std::printf(
      "4. Path of %zu poses, %.2f m long; thinned to %zu poses %.1f m apart; "
      "received back on %s with %zu poses\n",
      result.path.poses.size(), robot_.calpathDistance(result.path),
      result.thinned_path.poses.size(), kThinningSpacing, subscription->get_topic_name(),
      result.received_path_poses);
}

void DemoScene::trackObstacles(DemoResult & result)
{
  auto tracker = node_->create_publisher<skelmar_protocol::msg::DynamicObstacles>(
      "/bev_tracker_dynamic_obstacles", rclcpp::SystemDefaultsQoS());
  const auto & goal = result.moved_goal.pose.position;
  skelmar_protocol::msg::DynamicObstacles frame;
  for (int step = 0; step < 5; ++step) {
    frame = skelmar_protocol::msg::DynamicObstacles();
    frame.header.frame_id = "odom";
    frame.header.stamp = node_->now();
    frame.obstacles.resize(3);
    for (std::size_t k = 0; k < frame.obstacles.size(); ++k) {
      // Three people walking across the aisle near the path, seen as small squares.
      const double cx = start_.x - 0.4 + 0.25 * step + 0.0 * k;
      const double cy = (start_.y + goal.y) / 2 + 1.2 * (static_cast<double>(k) - 1.0);
      for (const auto & [dx, dy] : {std::pair{-0.2, -0.2}, {0.2, -0.2}, {0.2, 0.2}, {-0.2, 0.2}}) {
        geometry_msgs::msg::Point corner;
        corner.x = cx + dx;
        corner.y = cy + dy;
        frame.obstacles[k].points.push_back(corner);
      }
    }
    // The listener may not hold the transform yet: send the frame again until it is used.
    spinUntil([&] {
      tracker->publish(frame);
      const auto paths = engine_->dynamic_obstacle->getDynamicObstacle();
      return !paths.empty() && paths.front().header.stamp == frame.header.stamp;
    });
  }
  result.obstacles = engine_->dynamic_obstacle->getDynamicObstacle();

  std::printf(
      "5. Tracker sent %zu obstacles in \"odom\"; the engine holds %zu paths in \"%s\"",
      frame.obstacles.size(), result.obstacles.size(),
      result.obstacles.empty() ? "-" : result.obstacles.front().header.frame_id.c_str());
  if (!result.obstacles.empty() && !result.obstacles.front().poses.empty()) {
    const auto & in_odom = frame.obstacles.front().points.front();
    const auto & in_map = result.obstacles.front().poses.front().pose.position;
    std::printf(
        "; corner (%.2f, %.2f) in odom is (%.2f, %.2f) in map", in_odom.x, in_odom.y, in_map.x,
        in_map.y);
  }
  std::printf("\n");
}

void DemoScene::scaleVelocity(DemoResult & result)
{
  auto ratio_publisher = node_->create_publisher<skelmar_protocol::msg::PlannerSpeedControl>(
      "planner_speed", rclcpp::QoS(1));
  geometry_msgs::msg::Twist received;
  bool arrived = false;
  auto subscription = node_->create_subscription<geometry_msgs::msg::Twist>(
      "/cmd_vel_raw", rclcpp::QoS(1), [&](const geometry_msgs::msg::Twist & twist) {
        received = twist;
        arrived = true;
      });
  skelmar_protocol::msg::PlannerSpeedControl ratio;
  ratio.speed_ratio = static_cast<float>(kSpeedRatio);
  geometry_msgs::msg::Twist command;
  command.linear.x = 0.4;
  command.angular.z = 0.3;
  result.commanded_speed = command.linear.x;
  // The ratio reaches the bundle on its own thread; repeat until the scaled command comes back.
  spinUntil([&] {
    ratio_publisher->publish(ratio);
    decision_->cmd_vel->publishVelocity(command);
    return arrived && received.linear.x == command.linear.x * kSpeedRatio;
  });
  result.received_speed = received.linear.x;
  std::printf(
      "6. Speed ratio %.2f sent on planner_speed; command %.2f m/s, %.2f rad/s went out on %s as "
      "%.2f m/s, %.2f rad/s\n",
      kSpeedRatio, command.linear.x, command.angular.z, subscription->get_topic_name(),
      received.linear.x, received.angular.z);
}

void DemoScene::drawTrace(DemoResult & result)
{
  skelmar_trace::TraceMat trace(gridmap_, "demo");
  bool arrived = false;
  auto subscription = node_->create_subscription<nav_msgs::msg::OccupancyGrid>(
      "trace/trace_demo", rclcpp::QoS(1), [&](const nav_msgs::msg::OccupancyGrid & grid) {
        result.trace = grid;
        arrived = true;
      });
  // The raster is drawn and sent only when a viewer was subscribed at the reset.
  trace.reset();

  const auto & costmap = *gridmap_->multi_map->costmap;
  const auto point_xy = [](const auto & point) {
    return std::pair{double(point.x), double(point.y)};
  };
  const auto pose_xy = [](const geometry_msgs::msg::PoseStamped & pose) {
    return std::pair{pose.pose.position.x, pose.pose.position.y};
  };
  const auto draw_robot = [&](const geometry_msgs::msg::PoseStamped & pose, char colour) {
    geometry_msgs::msg::PolygonStamped placed;
    robot_.transformFootprint(
        pose.pose.position.x, pose.pose.position.y, robot_.quaternion2Yaw(pose.pose.orientation),
        footprint_, placed);
    auto cells = cellsOf(costmap, placed.polygon.points, point_xy);
    trace.setMatPolygonColor(cells, colour);
  };

  auto window =
      square(result.blocked_goal.pose.position.x, result.blocked_goal.pose.position.y, kWindow);
  auto window_cells = cellsOf(costmap, window.polygon.points, point_xy);
  trace.setMatPolygonColor(window_cells, kWindowColour);
  auto path_cells = cellsOf(costmap, result.path.poses, pose_xy);
  trace.setMatLineColor(path_cells, kPathColour);
  for (const auto & obstacle : result.obstacles) {
    auto cells = cellsOf(costmap, obstacle.poses, pose_xy);
    trace.setMatPolygonColor(cells, kObstacleColour);
  }
  draw_robot(result.path.poses.front(), kStartColour);
  draw_robot(result.blocked_goal, kBlockedColour);
  if (result.goal_found) {
    draw_robot(result.moved_goal, kGoalColour);
  }
  trace.publishCVMatAsGrid();
  spinUntil([&] { return arrived; });
  if (!arrived) {
    throw std::runtime_error(
        "the trace grid did not arrive on " + std::string(subscription->get_topic_name()));
  }
  writeDemoPicture(costmap, result.trace, kLayers, options_.out);
  std::printf(
      "7. Trace drawn and published on %s (%u x %u cells in \"%s\"); picture written to %s\n",
      subscription->get_topic_name(), result.trace.info.width, result.trace.info.height,
      result.trace.header.frame_id.c_str(), options_.out.c_str());
}

}  // namespace skelmar_demo
