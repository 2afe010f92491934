#include "skelmar_nav2_tools/communicator/communicator.hpp"

#include <ctime>
#include <string>

#include "node_thread_start.hpp"

namespace skelmar_communicator {
namespace {

std::shared_ptr<rclcpp::Node> createBundleNode(const std::string & prefix)
{
  return std::make_shared<rclcpp::Node>(prefix + std::to_string(std::time(nullptr)));
}

}  // namespace

CommunicatorDecision::CommunicatorDecision()
    : node(createBundleNode("skelmar_nav2_decision_communicator"))
{
  cmd_vel = std::make_shared<MicroUnitCmdVel>(node);
  err_code = std::make_shared<MicroUnitErrCode>(node);
  node_thread = skelmar_internal::startNodeThread(node->get_node_base_interface());
}

// The members' implicit order would release the units while the node thread may still
// run their callbacks; the thread goes first.
CommunicatorDecision::~CommunicatorDecision()
{
  node_thread.reset();
}

CommunicatorEngine::CommunicatorEngine()
    : node(createBundleNode("skelmar_nav2_engine_communicator"))
{
  cmd_vel = std::make_shared<MicroUnitCmdVel>(node);
  planning = std::make_shared<MicroUnitPlanning>(node);
  trace = std::make_shared<MicroUnitTrace>(node);
  odom = std::make_shared<MicroUnitOdom>(node);
  robot_event = std::make_shared<MicroUnitRobotEvent>(node);
  people_info = std::make_shared<MicroUnitPeopleInfo>(node);
  node_thread = skelmar_internal::startNodeThread(node->get_node_base_interface());
  // The destructor does not run for a constructor that throws, and the units would be
  // released before the spinning thread; stop it first.
  try {
    err_code = std::make_shared<MicroUnitErrCode>(node);
    dynamic_obstacle = std::make_shared<MicroUnitDynamicObstacle>(node);
  } catch (...) {
    node_thread.reset();
    throw;
  }
}

CommunicatorEngine::~CommunicatorEngine()
{
  node_thread.reset();
}

}  // namespace skelmar_communicator
