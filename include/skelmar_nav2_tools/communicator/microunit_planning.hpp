#ifndef SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_PLANNING_HPP_
#define SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_PLANNING_HPP_

#include <memory>
#include <vector>

#include "geometry_msgs/msg/polygon.hpp"
#include "geometry_msgs/msg/polygon_stamped.hpp"
#include "geometry_msgs/msg/pose_stamped.hpp"
#include "nav_msgs/msg/path.hpp"
#include "rclcpp/rclcpp.hpp"
#include "skelmar_nav2_protocol/msg/multi_paths.hpp"
#include "skelmar_nav2_protocol/srv/trigger_clean_coverage.hpp"
#include "skelmar_protocol/msg/covered_points.hpp"
#include "std_msgs/msg/int8.hpp"
#include "visualization_msgs/msg/marker.hpp"

namespace skelmar_communicator {

/**
 * @brief Publishes the engine's planning results and calls the clean-coverage service.
 *
 * Endpoints on the given node, created in this order (publishers keep last 1, reliable,
 * volatile; relative names resolve in the node's namespace):
 * "skelmar_nav2_planning/global_planning_path", ".../dynamic_global_planning_path",
 * ".../contour_path", ".../local_planning_path", ".../cropped_global_planning_path"
 * (nav_msgs/Path), "wait_for_dynamic_obstacle" (std_msgs/Int8), the client of
 * "/trigger_clean_coverage" (default service QoS), "skelmar_nav2_planning/contour"
 * (PolygonStamped), "cleaning_report" (CoveredPoints), "/connective_area" (Marker),
 * "covered_path" (nav_msgs/Path).
 *
 * Thread safety: every operation may be called from any thread, concurrently; the unit
 * keeps no data between calls.
 */
class MicroUnitPlanning
{
public:
  /**
   * @brief Creates the ten publishers and the service client on @p node.
   * @throws rclcpp exceptions of endpoint creation
   */
  explicit MicroUnitPlanning(std::shared_ptr<rclcpp::Node> node);

  /**
   * @brief Publishes @p multi_paths flattened into one path on the global path topic.
   *
   * The path has stamp 0 and the first entry's frame id (empty without entries); its poses
   * are every entry's poses in order, each copied whole with its own header.
   * @throws rclcpp exceptions of the publish call
   */
  void publishGlobalPath(const skelmar_nav2_protocol::msg::MultiPaths & multi_paths);
  /// @brief As publishGlobalPath, on the dynamic global path topic.
  void publishDynamicGlobalPath(const skelmar_nav2_protocol::msg::MultiPaths & multi_paths);
  /// @brief As publishGlobalPath, on the cropped global path topic.
  void publishCroppedGlobalPath(const skelmar_nav2_protocol::msg::MultiPaths & multi_paths);

  /// @brief Publishes @p path unchanged on the local path topic.
  void publishLocalPath(const nav_msgs::msg::Path & path);
  /// @brief Publishes @p path unchanged on the contour path topic.
  void publishContourPath(const nav_msgs::msg::Path & path);

  /**
   * @brief Publishes @p polygon (in "map", m) as a PolygonStamped in "map" with stamp 0.
   * @throws rclcpp exceptions of the publish call
   */
  void publishContour(const geometry_msgs::msg::Polygon & polygon);

  /**
   * @brief Publishes the poses as a path in "map" with stamp 0, only while "covered_path"
   *        has a subscriber.
   *
   * Each output pose keeps the input's position and orientation but gets an empty header.
   * @throws rclcpp exceptions of the publish call
   */
  void publishCoveredPath(const std::vector<geometry_msgs::msg::PoseStamped> & poses);

  /// @brief Publishes @p report unchanged on "cleaning_report".
  void publishCoveredPoints(const skelmar_protocol::msg::CoveredPoints & report);
  /// @brief Publishes @p marker unchanged on "/connective_area".
  void publishConnectiveArea(const visualization_msgs::msg::Marker & marker);
  /// @brief Publishes @p wait_flag unchanged on "wait_for_dynamic_obstacle".
  void publishWaitForDynamicObstacle(const std_msgs::msg::Int8 & wait_flag);

  /**
   * @brief Asks "/trigger_clean_coverage" to act and waits a bounded time for the answer.
   *
   * Blocks the caller for up to about 2 s: at most 1 s for the service to appear and at
   * most 1 s for the response. Failures are logged at error level through skelmar::Logger.
   * The response is delivered by the thread spinning the node, so calling this from a
   * callback of that node always runs into the response time-out.
   *
   * @param flag request field flag
   * @param first_value request field first_value, passed unchanged
   * @param second_value request field second_value, passed unchanged
   * @return false when no request was sent (no client, or no service within 1 s); true
   *         otherwise, also when the response did not arrive within 1 s (the pending
   *         request is then dropped, so a late response is discarded)
   * @throws rclcpp exceptions of sending the request
   *
   * Thread safety: may be called from several threads at once; each call has its own
   * request and future.
   */
  bool triggerCleanCoverage(bool flag, int first_value, int second_value);

  /// The node all endpoints live on.
  std::shared_ptr<rclcpp::Node> node;
  /// "skelmar_nav2_planning/global_planning_path".
  rclcpp::Publisher<nav_msgs::msg::Path>::SharedPtr global_path_pub;
  /// "skelmar_nav2_planning/cropped_global_planning_path".
  rclcpp::Publisher<nav_msgs::msg::Path>::SharedPtr cropped_global_path_pub;
  /// "skelmar_nav2_planning/local_planning_path".
  rclcpp::Publisher<nav_msgs::msg::Path>::SharedPtr local_path_pub;
  /// "skelmar_nav2_planning/dynamic_global_planning_path".
  rclcpp::Publisher<nav_msgs::msg::Path>::SharedPtr dynamic_global_path_pub;
  /// "skelmar_nav2_planning/contour_path".
  rclcpp::Publisher<nav_msgs::msg::Path>::SharedPtr contour_path_pub;
  /// "skelmar_nav2_planning/contour".
  rclcpp::Publisher<geometry_msgs::msg::PolygonStamped>::SharedPtr contour_pub;
  /// "wait_for_dynamic_obstacle".
  rclcpp::Publisher<std_msgs::msg::Int8>::SharedPtr wait_for_dynamic_obstacle_pub;
  /// Client of "/trigger_clean_coverage".
  rclcpp::Client<skelmar_nav2_protocol::srv::TriggerCleanCoverage>::SharedPtr
      trigger_clean_coverage_client;
  /// "cleaning_report".
  rclcpp::Publisher<skelmar_protocol::msg::CoveredPoints>::SharedPtr cleaning_report_pub;
  /// "covered_path".
  rclcpp::Publisher<nav_msgs::msg::Path>::SharedPtr covered_path_pub;
  /// "/connective_area".
  rclcpp::Publisher<visualization_msgs::msg::Marker>::SharedPtr connective_area_pub;
};

}  // namespace skelmar_communicator

#endif  // SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_PLANNING_HPP_
