// The demo run end to end on the small shipped map, and its refusal of bad options.
#include <opencv2/imgcodecs.hpp>

#include "demo_options.hpp"
#include "demo_scene.hpp"
#include "support/ros_test_support.hpp"

using skelmar_demo::parseDemoOptions;

TEST(Demo, RunsEveryStepOnTheSandboxMap)
{
  // A goal on one of the sandbox's round posts, which leave free space around them.
  const auto options = parseDemoOptions(
      {"demo", "--map", SKELMAR_TEST_MAPS_DIR "/tb3_sandbox.yaml", "--goal", "0,0,0", "--out",
       "/tmp/skelmar_demo_test_" + std::to_string(getpid()) + ".png"},
      "unused");
  const skelmar_demo::DemoResult result = skelmar_demo::DemoScene(options).run();
  ASSERT_TRUE(result.goal_was_blocked && result.goal_found && !result.path.poses.empty());
  // Only the position moves, to a free one within the search window; heading and frame stay.
  const auto & moved = result.moved_goal.pose.position;
  EXPECT_LE(std::max(std::abs(moved.x), std::abs(moved.y)), 1.0 + 1e-9);
  EXPECT_GT(std::hypot(moved.x, moved.y), 0.0);
  EXPECT_EQ(result.moved_goal.pose.orientation, result.blocked_goal.pose.orientation);
  EXPECT_EQ(result.moved_goal.header, result.blocked_goal.header);
  EXPECT_EQ(result.path.poses.front().pose.position.x, -2.0);
  EXPECT_EQ(result.path.poses.back().pose.position, moved);
  EXPECT_LT(result.thinned_path.poses.size(), result.path.poses.size());
  EXPECT_EQ(result.received_path_poses, result.thinned_path.poses.size());
  ASSERT_EQ(result.obstacles.size(), 3u);
  for (const auto & obstacle : result.obstacles) {
    EXPECT_EQ(obstacle.header.frame_id + std::to_string(obstacle.poses.size()), "map4");
  }
  EXPECT_EQ(result.received_speed, 0.5 * result.commanded_speed);
  EXPECT_EQ(result.trace.info.width, 384u);
  const cv::Mat picture = cv::imread(options.out, cv::IMREAD_COLOR);
  std::remove(options.out.c_str());
  EXPECT_TRUE(picture.cols >= 640 && picture.rows >= 200) << picture.size();
}

TEST(Demo, RejectsBadOptions)
{
  for (const char * goal : {"1", "1,2,3,4", "a,b", "nan,0", "1,2,"}) {
    EXPECT_THROW(parseDemoOptions({"demo", "--goal", goal}, "m.yaml"), std::invalid_argument)
        << goal;
  }
  EXPECT_THROW(parseDemoOptions({"demo", "--fast"}, "m.yaml"), std::invalid_argument);
  EXPECT_THROW(parseDemoOptions({"demo", "--out"}, "m.yaml"), std::invalid_argument);
  const auto options = parseDemoOptions({"demo", "--goal", "1.5,-2", "--help"}, "m.yaml");
  ASSERT_TRUE(options.help && options.goal && options.map_yaml == "m.yaml");
  EXPECT_EQ(
      std::make_tuple(options.goal->x, options.goal->y, options.goal->yaw),
      std::make_tuple(1.5, -2.0, 0.0));
}
