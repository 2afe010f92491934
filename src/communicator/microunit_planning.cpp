#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"

#include <chrono>
#include <future>
#include <utility>

#include "log_call.hpp"

namespace skelmar_communicator {
namespace {

constexpr std::chrono::seconds kServiceWait{1};
constexpr std::chrono::seconds kResponseWait{1};

nav_msgs::msg::Path flatten(const skelmar_nav2_protocol::msg::MultiPaths & multi_paths)
{
  nav_msgs::msg::Path path;
  if (multi_paths.paths.empty()) {
    return path;
  }
  path.header.frame_id = multi_paths.paths.front().header.frame_id;
  for (const auto & entry : multi_paths.paths) {
    path.poses.insert(path.poses.end(), entry.poses.begin(), entry.poses.end());
  }
  return path;
}

}  // namespace

MicroUnitPlanning::MicroUnitPlanning(std::shared_ptr<rclcpp::Node> node) : node(std::move(node))
{
  auto & n = *this->node;
  global_path_pub =
      n.create_publisher<nav_msgs::msg::Path>("skelmar_nav2_planning/global_planning_path", 1);
  dynamic_global_path_pub = n.create_publisher<nav_msgs::msg::Path>(
      "skelmar_nav2_planning/dynamic_global_planning_path", 1);
  contour_path_pub =
      n.create_publisher<nav_msgs::msg::Path>("skelmar_nav2_planning/contour_path", 1);
  local_path_pub =
      n.create_publisher<nav_msgs::msg::Path>("skelmar_nav2_planning/local_planning_path", 1);
  cropped_global_path_pub = n.create_publisher<nav_msgs::msg::Path>(
      "skelmar_nav2_planning/cropped_global_planning_path", 1);
  wait_for_dynamic_obstacle_pub =
      n.create_publisher<std_msgs::msg::Int8>("wait_for_dynamic_obstacle", 1);
  trigger_clean_coverage_client =
      n.create_client<skelmar_nav2_protocol::srv::TriggerCleanCoverage>("/trigger_clean_coverage");
  contour_pub =
      n.create_publisher<geometry_msgs::msg::PolygonStamped>("skelmar_nav2_planning/contour", 1);
  cleaning_report_pub =
      n.create_publisher<skelmar_protocol::msg::CoveredPoints>("cleaning_report", 1);
  connective_area_pub = n.create_publisher<visualization_msgs::msg::Marker>("/connective_area", 1);
  covered_path_pub = n.create_publisher<nav_msgs::msg::Path>("covered_path", 1);
}

void MicroUnitPlanning::publishGlobalPath(
    const skelmar_nav2_protocol::msg::MultiPaths & multi_paths)
{
  global_path_pub->publish(flatten(multi_paths));
}

void MicroUnitPlanning::publishDynamicGlobalPath(
    const skelmar_nav2_protocol::msg::MultiPaths & multi_paths)
{
  dynamic_global_path_pub->publish(flatten(multi_paths));
}

void MicroUnitPlanning::publishCroppedGlobalPath(
    const skelmar_nav2_protocol::msg::MultiPaths & multi_paths)
{
  cropped_global_path_pub->publish(flatten(multi_paths));
}

void MicroUnitPlanning::publishLocalPath(const nav_msgs::msg::Path & path)
{
  local_path_pub->publish(path);
}

void MicroUnitPlanning::publishContourPath(const nav_msgs::msg::Path & path)
{
  contour_path_pub->publish(path);
}

void MicroUnitPlanning::publishContour(const geometry_msgs::msg::Polygon & polygon)
{
  geometry_msgs::msg::PolygonStamped contour;
  contour.header.frame_id = "map";
  contour.polygon.points = polygon.points;
  contour_pub->publish(contour);
}

void MicroUnitPlanning::publishCoveredPath(
    const std::vector<geometry_msgs::msg::PoseStamped> & poses)
{
  if (covered_path_pub->get_subscription_count() == 0) {
    return;
  }
  nav_msgs::msg::Path path;
  path.header.frame_id = "map";
  path.poses.resize(poses.size());
  for (size_t i = 0; i < poses.size(); ++i) {
    path.poses[i].pose = poses[i].pose;
  }
  covered_path_pub->publish(path);
}

void MicroUnitPlanning::publishCoveredPoints(const skelmar_protocol::msg::CoveredPoints & report)
{
  cleaning_report_pub->publish(report);
}

void MicroUnitPlanning::publishConnectiveArea(const visualization_msgs::msg::Marker & marker)
{
  connective_area_pub->publish(marker);
}

void MicroUnitPlanning::publishWaitForDynamicObstacle(const std_msgs::msg::Int8 & wait_flag)
{
  wait_for_dynamic_obstacle_pub->publish(wait_flag);
}

bool MicroUnitPlanning::triggerCleanCoverage(bool flag, int first_value, int second_value)
{
  auto request = std::make_shared<skelmar_nav2_protocol::srv::TriggerCleanCoverage::Request>();
  request->flag = flag;
  request->first_value = first_value;
  request->second_value = second_value;

  if (!trigger_clean_coverage_client) {
    SKELMAR_LOG_ERROR("SyncCallService client is nullptr");
    return false;
  }
  if (!trigger_clean_coverage_client->wait_for_service(kServiceWait)) {
    SKELMAR_LOG_ERROR("Server not exist");
    return false;
  }
  auto pending = trigger_clean_coverage_client->async_send_request(request);
  if (pending.future.wait_for(kResponseWait) != std::future_status::ready) {
    SKELMAR_LOG_ERROR("SyncCallService server timeout");
    // A response arriving later must not complete a future nobody waits for.
    trigger_clean_coverage_client->remove_pending_request(pending.request_id);
  }
  // The result tells whether a request was sent, not whether it was answered.
  return true;
}

}  // namespace skelmar_communicator
