#include <gtest/gtest.h>

#include "rclcpp/rclcpp.hpp"

namespace {

// The default ROS context lives around all tests of the executable.
struct RosEnvironment : ::testing::Environment
{
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
  }
  void TearDown() override
  {
    rclcpp::shutdown();
  }
};

}  // namespace

int main(int argc, char ** argv)
{
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new RosEnvironment());
  return RUN_ALL_TESTS();
}
