// People info unit: topics from the parameter, the stored copy and consistent snapshots.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "communicator_test_helpers.hpp"
#include "skelmar_nav2_tools/communicator/microunit_people_info.hpp"

using communicator_test::SpunNode;
using skelmar_communicator::MicroUnitPeopleInfo;
using skelmar_protocol::msg::ObjectList;

namespace {

rclcpp::NodeOptions withTopics(const std::vector<std::string> & topics)
{
  return rclcpp::NodeOptions().parameter_overrides(
      {rclcpp::Parameter("communicator_people_info_topic", topics)});
}

/// A list of @p n objects whose numbers all derive from @p n.
ObjectList people(int n, const std::string & frame = "camera")
{
  ObjectList list;
  list.header.stamp.sec = n;
  list.header.frame_id = frame;
  list.text = "dropped";
  list.scalar = 77;
  list.objects.resize(static_cast<size_t>(n % 7));
  for (auto & object : list.objects) {
    object.x = n;
    object.id = n;
    object.contour.resize(2);
    object.history_ids = {n, n + 1};
  }
  return list;
}

}  // namespace

TEST(PeopleInfo, DefaultParameterGivesNoSubscriptions)
{
  SpunNode node("people_default");
  MicroUnitPeopleInfo unit(node.node);
  EXPECT_TRUE(unit.people_topics.empty());
  EXPECT_TRUE(unit.people_subs.empty());
  EXPECT_TRUE(unit.getPeopleInfo().empty());
  EXPECT_TRUE(node.node->get_parameter("communicator_people_info_topic").as_string_array().empty());
  MicroUnitPeopleInfo second(node.node);  // the parameter is not declared twice
  EXPECT_TRUE(second.people_subs.empty());
}

TEST(PeopleInfo, ListsFromTwoTopicsKeyedAsWritten)
{
  SpunNode unit_node("people_unit", "/robot7", withTopics({"people_a", "/people_b"}));
  auto unit = std::make_shared<MicroUnitPeopleInfo>(unit_node.node);
  unit_node.spin();
  ASSERT_EQ(unit->people_subs.size(), 2U);
  EXPECT_STREQ(unit->people_subs.at("people_a")->get_topic_name(), "/robot7/people_a");
  EXPECT_STREQ(unit->people_subs.at("/people_b")->get_topic_name(), "/people_b");

  SpunNode peer("people_peer");
  auto pub_a = peer.node->create_publisher<ObjectList>("/robot7/people_a", 10);
  auto pub_b = peer.node->create_publisher<ObjectList>("/people_b", 10);
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    return pub_a->get_subscription_count() == 1 && pub_b->get_subscription_count() == 1;
  }));
  EXPECT_TRUE(unit->getPeopleInfo().empty());

  pub_a->publish(people(3));
  ASSERT_TRUE(skelmar_test::waitFor([&] { return unit->getPeopleInfo().size() == 1; }));
  const auto stored = unit->getPeopleInfo().at("people_a");
  EXPECT_EQ(stored.header, people(3).header);
  EXPECT_EQ(stored.objects, people(3).objects);
  EXPECT_EQ(stored.text, "");
  EXPECT_EQ(stored.scalar, 0);

  pub_b->publish(people(5, "lidar"));
  ASSERT_TRUE(skelmar_test::waitFor([&] { return unit->getPeopleInfo().size() == 2; }));
  pub_a->publish(people(4));
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] { return unit->getPeopleInfo().at("people_a").header.stamp.sec == 4; }));
  const auto both = unit->getPeopleInfo();
  EXPECT_EQ(both.at("people_a").objects.size(), 4U);
  EXPECT_EQ(both.at("/people_b").header.frame_id, "lidar");
  EXPECT_EQ(both.at("/people_b").objects, people(5).objects);
  unit_node.stop();
}

TEST(PeopleInfo, DuplicateAndEquivalentNames)
{
  SpunNode unit_node(
      "people_names", "/robot7", withTopics({"people_c", "people_c", "/robot7/people_c"}));
  auto unit = std::make_shared<MicroUnitPeopleInfo>(unit_node.node);
  unit_node.spin();
  EXPECT_EQ(unit->people_topics.size(), 3U);
  ASSERT_EQ(unit->people_subs.size(), 2U);

  SpunNode peer("people_names_peer");
  auto pub = peer.node->create_publisher<ObjectList>("/robot7/people_c", 10);
  // The duplicate's first subscription is gone: one per distinct name remains.
  ASSERT_TRUE(skelmar_test::waitFor([&] { return pub->get_subscription_count() == 2; }));
  pub->publish(people(2));
  ASSERT_TRUE(skelmar_test::waitFor([&] { return unit->getPeopleInfo().size() == 2; }));
  const auto stored = unit->getPeopleInfo();
  EXPECT_EQ(stored.count("people_c"), 1U);
  EXPECT_EQ(stored.count("/robot7/people_c"), 1U);
  unit_node.stop();
}

TEST(PeopleInfo, ParameterOfAnotherTypeFailsConstruction)
{
  SpunNode single(
      "people_bad", "",
      rclcpp::NodeOptions().parameter_overrides(
          {rclcpp::Parameter("communicator_people_info_topic", "people_a")}));
  EXPECT_THROW(MicroUnitPeopleInfo{single.node}, rclcpp::exceptions::InvalidParameterTypeException);
}

TEST(PeopleInfo, InvalidTopicNameFailsConstruction)
{
  SpunNode bad("people_bad_name", "", withTopics({"people a"}));
  EXPECT_THROW(MicroUnitPeopleInfo{bad.node}, rclcpp::exceptions::InvalidTopicNameError);
}

TEST(PeopleInfo, EverySnapshotEntryIsOneWholeMessage)
{
  SpunNode unit_node("people_hammer", "", withTopics({"people_h"}));
  auto unit = std::make_shared<MicroUnitPeopleInfo>(unit_node.node);
  unit_node.spin();
  SpunNode peer("people_hammer_peer");
  auto pub = peer.node->create_publisher<ObjectList>("people_h", 10);
  ASSERT_TRUE(skelmar_test::waitFor([&] { return pub->get_subscription_count() == 1; }));

  std::atomic<bool> stop{false};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        for (const auto & [topic, list] : unit->getPeopleInfo()) {
          const int n = list.header.stamp.sec;
          ASSERT_EQ(list.objects.size(), static_cast<size_t>(n % 7));
          for (const auto & object : list.objects) {
            ASSERT_EQ(object.id, n);
          }
        }
      }
    });
  }
  // Direct calls race the subscription's callbacks on the node thread as well.
  std::thread direct([&] {
    for (int n = 1; n <= 200; ++n) {
      unit->peopleInfoCallback(std::make_shared<ObjectList>(people(n)), "people_h");
    }
  });
  for (int n = 1; n <= 200; ++n) {
    pub->publish(people(n));
  }
  direct.join();
  pub->publish(people(1000));
  EXPECT_TRUE(skelmar_test::waitFor(
      [&] { return unit->getPeopleInfo()["people_h"].header.stamp.sec == 1000; }));
  stop = true;
  for (auto & reader : readers) {
    reader.join();
  }
  unit_node.stop();
}
