#ifndef SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_PEOPLE_INFO_HPP_
#define SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_PEOPLE_INFO_HPP_

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "rclcpp/rclcpp.hpp"
#include "skelmar_protocol/msg/object_list.hpp"

namespace skelmar_communicator {

/**
 * @brief Keeps the latest people (object) list of every topic named by a parameter.
 *
 * Reads the string-array parameter "communicator_people_info_topic" (declared with an
 * empty default unless the node already has it) once, and subscribes to every distinct
 * topic in it with the system-default QoS. Entries are keyed by the names as written in
 * the parameter, not as resolved.
 *
 * Thread safety: getPeopleInfo may be called from any thread; it copies the whole table
 * under the unit's recursive mutex, so each entry is one complete message. The unit must
 * outlive every spin of its node that may still run its callbacks.
 */
class MicroUnitPeopleInfo
{
public:
  /**
   * @brief Reads the topic list and creates one subscription per distinct topic on @p node.
   * @throws rclcpp::exceptions::InvalidParameterTypeException if the parameter holds a
   *         value that is not a string array
   * @throws rclcpp exceptions of endpoint creation (for example an invalid topic name)
   */
  explicit MicroUnitPeopleInfo(std::shared_ptr<rclcpp::Node> node);

  /**
   * @brief Stores the header and objects of @p msg as the latest list of @p topic.
   *
   * The stored copy's other fields keep their defaults (empty text, scalar 0).
   */
  void peopleInfoCallback(
      std::shared_ptr<skelmar_protocol::msg::ObjectList> msg, const std::string & topic);

  /**
   * @brief Latest list of every topic heard from at least once.
   * @return a copy of the table; empty until the first message
   */
  std::map<std::string, skelmar_protocol::msg::ObjectList> getPeopleInfo();

  /// The node the subscriptions live on.
  std::shared_ptr<rclcpp::Node> node;
  /// The topic names, in parameter order (duplicates kept).
  std::vector<std::string> people_topics;
  /// One subscription per distinct topic name.
  std::map<std::string, rclcpp::Subscription<skelmar_protocol::msg::ObjectList>::SharedPtr>
      people_subs;
  /// Guards people_info_map.
  std::recursive_mutex people_mutex;
  /// Latest list per topic name.
  std::map<std::string, skelmar_protocol::msg::ObjectList> people_info_map;
};

}  // namespace skelmar_communicator

#endif  // SKELMAR_NAV2_TOOLS__COMMUNICATOR__MICROUNIT_PEOPLE_INFO_HPP_
