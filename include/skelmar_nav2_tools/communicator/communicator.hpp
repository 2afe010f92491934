#ifndef SKELMAR_NAV2_TOOLS__COMMUNICATOR__COMMUNICATOR_HPP_
#define SKELMAR_NAV2_TOOLS__COMMUNICATOR__COMMUNICATOR_HPP_

#include <memory>

#include "nav2_util/node_thread.hpp"
#include "rclcpp/rclcpp.hpp"
#include "skelmar_nav2_tools/communicator/microunit_cmd_vel.hpp"
#include "skelmar_nav2_tools/communicator/microunit_dynamic_obstacle.hpp"
#include "skelmar_nav2_tools/communicator/microunit_err_code.hpp"
#include "skelmar_nav2_tools/communicator/microunit_odom.hpp"
#include "skelmar_nav2_tools/communicator/microunit_people_info.hpp"
#include "skelmar_nav2_tools/communicator/microunit_planning.hpp"
#include "skelmar_nav2_tools/communicator/microunit_robot_event.hpp"
#include "skelmar_nav2_tools/communicator/microunit_trace.hpp"

namespace skelmar_communicator {

/**
 * @brief The decision layer's communicator: a node, its spinning thread, the velocity
 *        command unit and the error report unit.
 *
 * The node is named "skelmar_nav2_decision_communicator" followed directly by the seconds
 * since the epoch at construction, with default node options (so namespace and name
 * follow the process's ROS remapping); it uses the default context, which the caller must
 * have initialised. Units are created in the order cmd_vel, err_code, then the node thread.
 *
 * Thread safety: the members are written only during construction. Callbacks run on
 * node_thread; the units' operations may be called from any thread.
 */
class CommunicatorDecision
{
public:
  /**
   * @brief Creates the node, the units and the node thread, which spins once this returns.
   * @throws whatever node creation, a unit or the node thread throws (for example
   *         rclcpp::exceptions::InvalidParameterTypeException for a non-string
   *         "communicator_cmd_vel_out"); no thread is left running then
   */
  CommunicatorDecision();

  /// @brief Stops and joins the node thread before any unit is released.
  ~CommunicatorDecision();

  CommunicatorDecision(const CommunicatorDecision &) = delete;
  CommunicatorDecision & operator=(const CommunicatorDecision &) = delete;

  /// The bundle's node.
  std::shared_ptr<rclcpp::Node> node;
  /// Spins node.
  std::unique_ptr<nav2_util::NodeThread> node_thread;
  /// Velocity command unit.
  std::shared_ptr<MicroUnitCmdVel> cmd_vel;
  /// Error report unit.
  std::shared_ptr<MicroUnitErrCode> err_code;
};

/**
 * @brief The navigation engine's communicator: a node, its spinning thread and all units.
 *
 * The node is named "skelmar_nav2_engine_communicator" followed directly by the seconds
 * since the epoch at construction, with default node options; it uses the default
 * context, which the caller must have initialised. Creation order: cmd_vel, planning,
 * trace, odom, robot_event, people_info, the node thread, err_code, dynamic_obstacle.
 *
 * Thread safety: the members are written only during construction. Callbacks run on
 * node_thread (the transform listener has a thread of its own); the units' operations may
 * be called from any thread.
 */
class CommunicatorEngine
{
public:
  /**
   * @brief Creates the node, the units and the node thread.
   * @throws whatever node creation, a unit or the node thread throws (for example a
   *         parameter of the wrong type); no thread is left running then
   */
  CommunicatorEngine();

  /// @brief Stops and joins the node thread before any unit is released.
  ~CommunicatorEngine();

  CommunicatorEngine(const CommunicatorEngine &) = delete;
  CommunicatorEngine & operator=(const CommunicatorEngine &) = delete;

  /// The bundle's node.
  std::shared_ptr<rclcpp::Node> node;
  /// Spins node.
  std::unique_ptr<nav2_util::NodeThread> node_thread;
  /// Velocity command unit.
  std::shared_ptr<MicroUnitCmdVel> cmd_vel;
  /// Planning publication unit and clean-coverage trigger.
  std::shared_ptr<MicroUnitPlanning> planning;
  /// Trace publication unit.
  std::shared_ptr<MicroUnitTrace> trace;
  /// Odometry unit.
  std::shared_ptr<MicroUnitOdom> odom;
  /// Error report unit.
  std::shared_ptr<MicroUnitErrCode> err_code;
  /// Robot event unit.
  std::shared_ptr<MicroUnitRobotEvent> robot_event;
  /// People info unit.
  std::shared_ptr<MicroUnitPeopleInfo> people_info;
  /// Dynamic obstacle unit.
  std::shared_ptr<MicroUnitDynamicObstacle> dynamic_obstacle;
};

}  // namespace skelmar_communicator

#endif  // SKELMAR_NAV2_TOOLS__COMMUNICATOR__COMMUNICATOR_HPP_
