#include "skelmar_nav2_tools/communicator/microunit_people_info.hpp"

#include <utility>

namespace skelmar_communicator {

MicroUnitPeopleInfo::MicroUnitPeopleInfo(std::shared_ptr<rclcpp::Node> node) : node(std::move(node))
{
  const std::string parameter = "communicator_people_info_topic";
  if (!this->node->has_parameter(parameter)) {
    this->node->declare_parameter(parameter, rclcpp::ParameterValue(std::vector<std::string>()));
  }
  this->node->get_parameter(parameter, people_topics);
  for (const auto & topic : people_topics) {
    // A topic listed twice replaces (and so releases) its first subscription.
    people_subs[topic] = this->node->create_subscription<skelmar_protocol::msg::ObjectList>(
        topic, rclcpp::SystemDefaultsQoS(),
        [this, topic](skelmar_protocol::msg::ObjectList::UniquePtr msg) {
          peopleInfoCallback(
              std::shared_ptr<skelmar_protocol::msg::ObjectList>(std::move(msg)), topic);
        });
  }
}

void MicroUnitPeopleInfo::peopleInfoCallback(
    std::shared_ptr<skelmar_protocol::msg::ObjectList> msg, const std::string & topic)
{
  std::lock_guard<std::recursive_mutex> lock(people_mutex);
  skelmar_protocol::msg::ObjectList stored;
  stored.header = msg->header;
  stored.objects = msg->objects;
  people_info_map[topic] = std::move(stored);
}

std::map<std::string, skelmar_protocol::msg::ObjectList> MicroUnitPeopleInfo::getPeopleInfo()
{
  std::lock_guard<std::recursive_mutex> lock(people_mutex);
  return people_info_map;
}

}  // namespace skelmar_communicator
