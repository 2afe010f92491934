#include <iostream>

#include <rclcpp/rclcpp.hpp>
#include <skelmar_nav2_tools/communicator/communicator.hpp>

int main(int argc, char ** argv)
{
  rclcpp::init(argc, argv);
  {
    skelmar_communicator::CommunicatorDecision decision;
    std::cout << "decision bundle running on node " << decision.node->get_fully_qualified_name()
              << std::endl;
  }
  rclcpp::shutdown();
  return 0;
}
