#include "node_thread_start.hpp"

#include <chrono>
#include <thread>

namespace skelmar_internal {

std::unique_ptr<nav2_util::NodeThread> startNodeThread(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base)
{
  auto executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  executor->add_node(node_base);
  auto node_thread = std::make_unique<nav2_util::NodeThread>(executor);
  // Once the context is shut down spin() returns at once and never reports spinning;
  // a cancel is then not needed for the join to finish.
  while (!executor->is_spinning() && rclcpp::ok()) {
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return node_thread;
}

}  // namespace skelmar_internal
