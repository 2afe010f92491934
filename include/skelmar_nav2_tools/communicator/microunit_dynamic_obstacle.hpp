#ifndef SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_DYNAMIC_OBSTACLE_HPP_
#define SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_DYNAMIC_OBSTACLE_HPP_

#include <memory>
#include <mutex>
#include <vector>

#include "nav2_util/node_thread.hpp"
#include "nav_msgs/msg/path.hpp"
#include "rclcpp/rclcpp.hpp"
#include "skelmar_protocol/msg/dynamic_obstacles.hpp"
#include "tf2_ros/buffer.h"
#include "tf2_ros/transform_listener.h"

namespace skelmar_communicator {

/**
 * @brief Keeps the tracker's latest dynamic obstacles as paths in the "map" frame.
 *
 * Subscribes to the absolute topic "/bev_tracker_dynamic_obstacles" with the
 * system-default QoS. Every obstacle becomes one path (m, frame "map") whose poses are its
 * points with identity orientation; a message in another frame is transformed with the
 * latest transform into "map", looked up once per message without waiting. A message
 * without obstacles leaves the stored list as it was; a failed lookup logs a warning
 * through the node's logger and leaves the list empty. The transform listener receives
 * "/tf" and "/tf_static" on a node and thread of its own: the unit spins the listener's
 * node itself, started so that destroying the unit right after construction never hangs
 * (Humble's listener thread can miss a stop that comes before it spins).
 *
 * Thread safety: getDynamicObstacle may be called from any thread; the callback holds the
 * unit's recursive mutex for the whole message, so a reader sees either the complete
 * previous list or the complete new one. The unit must outlive every spin of its node that
 * may still run its callback.
 */
class MicroUnitDynamicObstacle
{
public:
  /**
   * @brief Creates the transform buffer on @p node's clock (10 s cache), the listener on a
   *        node of its own, the thread that spins it, and the obstacle subscription.
   * @throws rclcpp exceptions of node or endpoint creation
   */
  explicit MicroUnitDynamicObstacle(std::shared_ptr<rclcpp::Node> node);

  /// @brief Replaces the stored paths with the obstacles of @p msg, in "map".
  void DynamicObstacleCallback(std::shared_ptr<skelmar_protocol::msg::DynamicObstacles> msg);

  /**
   * @brief Paths of the latest message that had obstacles, one per obstacle, in "map".
   * @return a copy; empty before the first such message and after a failed transform
   */
  std::vector<nav_msgs::msg::Path> getDynamicObstacle();

  /// Guards obstacle_paths.
  std::recursive_mutex obstacle_mutex;
  /// One path per obstacle of the latest accepted message, in message order.
  std::vector<nav_msgs::msg::Path> obstacle_paths;
  /// Transform cache for the lookup into "map".
  std::shared_ptr<tf2_ros::Buffer> tf_buffer;
  /// The listener's own node, "transform_listener_impl_<address>" as Humble names it.
  std::shared_ptr<rclcpp::Node> tf_listener_node;
  /// Keeps tf_buffer filled from "/tf" and "/tf_static" on tf_listener_node.
  tf2_ros::TransformListener tf_listener;
  /// Spins tf_listener_node; declared after tf_listener so that it stops first.
  std::unique_ptr<nav2_util::NodeThread> tf_listener_thread;
  /// The node the subscription lives on; its logger carries the warning.
  std::shared_ptr<rclcpp::Node> node;
  /// Subscription to "/bev_tracker_dynamic_obstacles".
  rclcpp::Subscription<skelmar_protocol::msg::DynamicObstacles>::SharedPtr obstacle_sub;
};

}  // namespace skelmar_communicator

#endif  // SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_DYNAMIC_OBSTACLE_HPP_
