#include <gtest/gtest.h>

#include <cstdlib>

#include "support/ros_test_support.hpp"

int main(int argc, char ** argv)
{
  // The logging stress writes tens of thousands of records; they are checked through a
  // capture sink, not the console.
  setenv("SPDLOG_STDOUT", "false", 1);
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new skelmar_test::RosEnvironment());
  return RUN_ALL_TESTS();
}
