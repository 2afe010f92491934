#ifndef SKELMAR_NAV2_TOOLS__NODE_THREAD_START_HPP_
#define SKELMAR_NAV2_TOOLS__NODE_THREAD_START_HPP_

#include <memory>

#include "nav2_util/node_thread.hpp"
#include "rclcpp/rclcpp.hpp"

namespace skelmar_internal {

/**
 * @brief Starts a thread that spins @p node_base and returns once it spins.
 *
 * Humble's executor loses a cancel() that arrives before spin() has begun, so a
 * nav2_util::NodeThread destroyed right after construction would join a thread that
 * never stops. Returning only after the executor reports spinning makes destruction
 * at any later point safe.
 *
 * @param node_base base interface of a node that belongs to no executor yet
 * @return the running node thread; destroying it stops and joins the thread
 * @throws std::runtime_error if the node already belongs to an executor
 */
std::unique_ptr<nav2_util::NodeThread> startNodeThread(
    rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base);

}  // namespace skelmar_internal

#endif  // SKELMAR_NAV2_TOOLS__NODE_THREAD_START_HPP_
