// The demo run end to end on the small shipped map, and its handling of bad options and files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include <opencv2/imgcodecs.hpp>
#include <skelmar_nav2_gridmap/map_loader.hpp>

#include "demo_options.hpp"
#include "demo_scene.hpp"

namespace {

const std::string kSandbox = std::string(SKELMAR_TEST_MAPS_DIR) + "/tb3_sandbox.yaml";

std::string temporaryPicture()
{
  return "/tmp/skelmar_demo_test_" + std::to_string(getpid()) + ".png";
}

skelmar_demo::DemoOptions sandboxOptions()
{
  // A goal on one of the sandbox's round posts, which leave free space around them.
  return skelmar_demo::parseDemoOptions(
      {"demo", "--map", kSandbox, "--goal", "0.0,0.0,0.0", "--out", temporaryPicture()}, "unused");
}

TEST(Demo, RunsEveryStepOnTheSandboxMap)
{
  const auto options = sandboxOptions();
  skelmar_demo::DemoResult result;
  {
    skelmar_demo::DemoScene scene(options);
    result = scene.run();
  }

  ASSERT_TRUE(result.goal_was_blocked);
  ASSERT_TRUE(result.goal_found);
  const auto & moved = result.moved_goal.pose.position;
  EXPECT_LE(std::abs(moved.x), 1.0 + 1e-9);
  EXPECT_LE(std::abs(moved.y), 1.0 + 1e-9);
  EXPECT_GT(std::hypot(moved.x, moved.y), 0.0);
  // Only the position moves: heading and frame stay.
  EXPECT_EQ(result.moved_goal.pose.orientation, result.blocked_goal.pose.orientation);
  EXPECT_EQ(result.moved_goal.header, result.blocked_goal.header);

  ASSERT_FALSE(result.path.poses.empty());
  EXPECT_EQ(result.path.poses.front().pose.position.x, -2.0);
  EXPECT_EQ(result.path.poses.back().pose.position, moved);
  EXPECT_LT(result.thinned_path.poses.size(), result.path.poses.size());
  EXPECT_EQ(result.received_path_poses, result.thinned_path.poses.size());

  ASSERT_EQ(result.obstacles.size(), 3u);
  for (const auto & obstacle : result.obstacles) {
    EXPECT_EQ(obstacle.header.frame_id, "map");
    EXPECT_EQ(obstacle.poses.size(), 4u);
  }

  EXPECT_EQ(result.received_speed, 0.5 * result.commanded_speed);

  EXPECT_EQ(result.trace.info.width, 384u);

  const cv::Mat picture = cv::imread(options.out, cv::IMREAD_COLOR);
  std::remove(options.out.c_str());
  ASSERT_FALSE(picture.empty());
  EXPECT_GE(picture.cols, 640);
  EXPECT_GE(picture.rows, 200);
}

TEST(Demo, RejectsBadOptions)
{
  using skelmar_demo::parseDemoOptions;
  for (const char * goal : {"1", "1,2,3,4", "a,b", "nan,0", "1,2,"}) {
    EXPECT_THROW(parseDemoOptions({"demo", "--goal", goal}, "m.yaml"), std::invalid_argument)
        << goal;
  }
  const auto options = parseDemoOptions({"demo", "--goal", "1.5,-2", "--help"}, "m.yaml");
  EXPECT_TRUE(options.help);
  EXPECT_EQ(options.map_yaml, "m.yaml");
  ASSERT_TRUE(options.goal.has_value());
  EXPECT_EQ(options.goal->x, 1.5);
  EXPECT_EQ(options.goal->y, -2.0);
  EXPECT_EQ(options.goal->yaw, 0.0);
}

}  // namespace
