#ifndef NAV2_COSTMAP_2D__COST_VALUES_HPP_
#define NAV2_COSTMAP_2D__COST_VALUES_HPP_

/// @file
/// Cost values of a Costmap2D cell, as Nav2 defines them.

namespace nav2_costmap_2d {

/// Cell never observed.
static constexpr unsigned char NO_INFORMATION = 255;
/// Cell holding an obstacle.
static constexpr unsigned char LETHAL_OBSTACLE = 254;
/// Cell closer to an obstacle than the robot's inscribed radius.
static constexpr unsigned char INSCRIBED_INFLATED_OBSTACLE = 253;
/// Highest cost of a cell the robot may occupy.
static constexpr unsigned char MAX_NON_OBSTACLE = 252;
/// Cell known to be free.
static constexpr unsigned char FREE_SPACE = 0;

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__COST_VALUES_HPP_
