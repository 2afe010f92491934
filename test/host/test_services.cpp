// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

// Services and clients: request routing and ids, the callback forms, waiting for a server,
// pending-request bookkeeping, and which executor serves requests and completes responses.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nav2_util/node_thread.hpp"
#include "rclcpp/rclcpp.hpp"
#include "skelmar_nav2_protocol/srv/trigger_clean_coverage.hpp"
#include "support/ros_test_support.hpp"

namespace {
using Trigger = skelmar_nav2_protocol::srv::TriggerCleanCoverage;
using namespace std::chrono_literals;

std::shared_ptr<Trigger::Request> request_of(int first, int second)
{
  auto request = std::make_shared<Trigger::Request>();
  request->flag = true;
  request->first_value = first;
  request->second_value = second;
  return request;
}

class Services : public ::testing::Test
{
protected:
  void SetUp() override
  {
    server_node = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("server"));
    client_node = std::make_shared<rclcpp::Node>(skelmar_test::uniqueName("client"));
    name = "/" + skelmar_test::uniqueName("trigger");
  }

  // Answers with first_value + second_value.
  rclcpp::Service<Trigger>::SharedPtr make_adder()
  {
    return server_node->create_service<Trigger>(
        name, [](const std::shared_ptr<Trigger::Request> request,
                 std::shared_ptr<Trigger::Response> response) {
          response->result = static_cast<uint8_t>(request->first_value + request->second_value);
        });
  }

  rclcpp::Node::SharedPtr server_node;
  rclcpp::Node::SharedPtr client_node;
  std::string name;
};

TEST_F(Services, RequestsAreAnsweredAndNumberedFromOnePerClient)
{
  auto service = make_adder();
  auto client = client_node->create_client<Trigger>(name);
  auto other_client = client_node->create_client<Trigger>(name);
  EXPECT_STREQ(client->get_service_name(), name.c_str());
  EXPECT_STREQ(service->get_service_name(), name.c_str());
  nav2_util::NodeThread server_thread(server_node);
  nav2_util::NodeThread client_thread(client_node);
  ASSERT_TRUE(client->wait_for_service(5s));

  for (int i = 1; i <= 3; ++i) {
    auto call = client->async_send_request(request_of(i, 10));
    EXPECT_EQ(call.request_id, i);
    ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(call.get()->result, 10 + i);
  }
  auto first_of_other = other_client->async_send_request(request_of(1, 1));
  if (skelmar_test::middlewareActsLikeFastDds()) {
    EXPECT_EQ(first_of_other.request_id, 1);  // Cyclone DDS numbers requests process-wide
  }
  auto shared = first_of_other.share();
  ASSERT_EQ(shared.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(shared.get()->result, 2);
}

TEST_F(Services, CallbackFormsRunOnTheClientsExecutor)
{
  auto service = make_adder();
  auto client = client_node->create_client<Trigger>(name);
  nav2_util::NodeThread server_thread(server_node);
  nav2_util::NodeThread client_thread(client_node);
  ASSERT_TRUE(client->wait_for_service(5s));

  std::promise<int> plain;
  auto sent = client->async_send_request(
      request_of(2, 3), [&plain](rclcpp::Client<Trigger>::SharedFuture future) {
        plain.set_value(future.get()->result);
      });
  auto plain_future = plain.get_future();
  ASSERT_EQ(plain_future.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(plain_future.get(), 5);
  EXPECT_EQ(sent.future.get()->result, 5);

  std::promise<int> with_request;
  auto request = request_of(4, 4);
  auto sent_with_request = client->async_send_request(
      request, [&with_request](rclcpp::Client<Trigger>::SharedFutureWithRequest future) {
        with_request.set_value(future.get().first->first_value * 100 + future.get().second->result);
      });
  auto with_request_future = with_request.get_future();
  ASSERT_EQ(with_request_future.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(with_request_future.get(), 408);
  EXPECT_EQ(sent_with_request.future.get().first, request);
}

TEST_F(Services, DeferredResponsesMaySendFromAnotherThread)
{
  std::mutex mutex;
  std::vector<std::pair<rmw_request_id_t, std::shared_ptr<Trigger::Request>>> held;
  auto service = server_node->create_service<Trigger>(
      name,
      [&](std::shared_ptr<rmw_request_id_t> header, std::shared_ptr<Trigger::Request> request) {
        std::lock_guard<std::mutex> lock(mutex);
        held.emplace_back(*header, request);
      });
  auto client = client_node->create_client<Trigger>(name);
  nav2_util::NodeThread server_thread(server_node);
  nav2_util::NodeThread client_thread(client_node);
  auto call = client->async_send_request(request_of(7, 0));
  ASSERT_TRUE(skelmar_test::waitFor([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return held.size() == 1;
  }));
  EXPECT_EQ(call.wait_for(20ms), std::future_status::timeout);
  std::thread answer([&] {
    std::lock_guard<std::mutex> lock(mutex);
    Trigger::Response response;
    response.result = 77;
    service->send_response(held[0].first, response);
    // A second answer to the same request goes nowhere.
    response.result = 1;
    service->send_response(held[0].first, response);
  });
  answer.join();
  ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(call.get()->result, 77);
}

TEST_F(Services, WaitForServiceReportsPresenceAndGivesUpOnTimeout)
{
  auto client = client_node->create_client<Trigger>(name);
  EXPECT_FALSE(client->service_is_ready());
  EXPECT_FALSE(client->wait_for_service(0s));
  EXPECT_FALSE(client->wait_for_service(50ms));

  // A server appearing while the client waits is noticed.
  std::thread late_server([&] {
    std::this_thread::sleep_for(30ms);
    auto service = make_adder();
    std::this_thread::sleep_for(200ms);
  });
  EXPECT_TRUE(client->wait_for_service(5s));
  late_server.join();
  EXPECT_SETTLED_EQ(false, client->service_is_ready());

  auto service = make_adder();
  EXPECT_SETTLED_EQ(true, client->service_is_ready());
  EXPECT_TRUE(client->wait_for_service(0s));
}

TEST_F(Services, ClientsOfAnotherTypeOrNameDoNotSeeTheServer)
{
  auto service = make_adder();
  auto wrong_name = client_node->create_client<Trigger>(name + "_other");
  EXPECT_FALSE(wrong_name->service_is_ready());
  auto relative = client_node->create_client<Trigger>(name.substr(1));
  EXPECT_SETTLED_EQ(true, relative->service_is_ready());
}

TEST_F(Services, RequestsAreServedOnlyWhileTheServersNodeIsSpun)
{
  auto service = make_adder();
  auto client = client_node->create_client<Trigger>(name);
  nav2_util::NodeThread client_thread(client_node);
  auto call = client->async_send_request(request_of(1, 2));
  EXPECT_EQ(call.wait_for(50ms), std::future_status::timeout);
  nav2_util::NodeThread server_thread(server_node);
  ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(call.get()->result, 3);
}

TEST_F(Services, ResponsesCompleteOnlyWhileTheClientsNodeIsSpun)
{
  auto service = make_adder();
  auto client = client_node->create_client<Trigger>(name);
  nav2_util::NodeThread server_thread(server_node);
  auto call = client->async_send_request(request_of(1, 2));
  EXPECT_EQ(call.wait_for(50ms), std::future_status::timeout);
  EXPECT_EQ(
      rclcpp::spin_until_future_complete(client_node, call, 5s), rclcpp::FutureReturnCode::SUCCESS);
  EXPECT_EQ(call.get()->result, 3);
}

TEST_F(Services, ARemovedRequestsLateResponseIsDropped)
{
  std::atomic<bool> hold{true};
  std::atomic<int> served{0};
  auto service = server_node->create_service<Trigger>(
      name, [&](const std::shared_ptr<Trigger::Request> request,
                std::shared_ptr<Trigger::Response> response) {
        skelmar_test::waitFor([&] { return !hold.load(); }, 10s);
        response->result = static_cast<uint8_t>(request->first_value);
        ++served;
      });
  auto client = client_node->create_client<Trigger>(name);
  nav2_util::NodeThread server_thread(server_node);
  nav2_util::NodeThread client_thread(client_node);

  auto late = client->async_send_request(request_of(1, 0));
  EXPECT_EQ(late.wait_for(30ms), std::future_status::timeout);
  EXPECT_TRUE(client->remove_pending_request(late));
  EXPECT_FALSE(client->remove_pending_request(late.request_id));
  hold = false;
  ASSERT_TRUE(skelmar_test::waitFor([&] { return served.load() == 1; }));

  // The next call is answered normally. The removed request's promise is gone, so its
  // future reports a broken promise, never the late response.
  auto next = client->async_send_request(request_of(2, 0));
  ASSERT_EQ(next.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(next.get()->result, 2);
  EXPECT_THROW(late.get(), std::future_error);
}

TEST_F(Services, PendingRequestsCanBePruned)
{
  auto client = client_node->create_client<Trigger>(name);
  auto a = client->async_send_request(request_of(1, 0));
  auto b = client->async_send_request(request_of(2, 0));
  auto c =
      client->async_send_request(request_of(3, 0), [](rclcpp::Client<Trigger>::SharedFuture) {});
  std::vector<int64_t> pruned;
  EXPECT_EQ(client->prune_requests_older_than(std::chrono::system_clock::now() + 1s, &pruned), 3u);
  EXPECT_EQ(pruned.size(), 3u);
  auto d = client->async_send_request(request_of(4, 0));
  EXPECT_EQ(d.request_id, c.request_id + 1);
  EXPECT_EQ(client->prune_pending_requests(), 1u);
  EXPECT_FALSE(client->remove_pending_request(c));
}

TEST_F(Services, ACallWaitingInsideTheClientsOwnCallbackIsNeverAnswered)
{
  auto service = make_adder();
  auto client = client_node->create_client<Trigger>(name);
  nav2_util::NodeThread server_thread(server_node);
  std::promise<std::future_status> status_in_callback;
  std::atomic<int64_t> request_id{0};
  auto timer = client_node->create_wall_timer(1ms, [&](rclcpp::TimerBase & self) {
    self.cancel();
    auto call = client->async_send_request(request_of(1, 1));
    request_id = call.request_id;
    // The response can only complete on this very thread, which is busy here.
    status_in_callback.set_value(call.wait_for(200ms));
    client->remove_pending_request(call);
  });
  nav2_util::NodeThread client_thread(client_node);
  auto status = status_in_callback.get_future();
  ASSERT_EQ(status.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(status.get(), std::future_status::timeout);
  if (skelmar_test::middlewareActsLikeFastDds()) {
    EXPECT_EQ(request_id.load(), 1);
  }
}

TEST_F(Services, NullCallbacksAreRefused)
{
  std::function<void(std::shared_ptr<Trigger::Request>, std::shared_ptr<Trigger::Response>)> none;
  try {
    server_node->create_service<Trigger>(name, none);
    FAIL() << "expected std::invalid_argument";
  } catch (const std::invalid_argument & error) {
    EXPECT_STREQ(error.what(), "AnyServiceCallback::set(): callback cannot be nullptr");
  }
}

TEST_F(Services, ServiceListingsNameTheServiceType)
{
  auto service = make_adder();
  ASSERT_TRUE(skelmar_test::waitFor(
      [&] { return client_node->get_service_names_and_types().count(name) == 1u; }));
  auto types = client_node->get_service_names_and_types();
  ASSERT_EQ(types.count(name), 1u);
  EXPECT_EQ(
      types[name], (std::vector<std::string>{"skelmar_nav2_protocol/srv/TriggerCleanCoverage"}));
  auto by_node = client_node->get_service_names_and_types_by_node(
      server_node->get_name(), server_node->get_namespace());
  EXPECT_EQ(by_node.count(name), 1u);
  EXPECT_EQ(
      client_node
          ->get_service_names_and_types_by_node(
              client_node->get_name(), client_node->get_namespace())
          .count(name),
      0u);
}

TEST(ServicesShutdown, WaitForServiceReturnsFalseOnceShutDown)
{
  auto context = std::make_shared<rclcpp::Context>();
  const char * argv[] = {"test"};
  context->init(1, argv);
  auto node = std::make_shared<rclcpp::Node>(
      skelmar_test::uniqueName("waiter"), rclcpp::NodeOptions().context(context));
  auto client = node->create_client<Trigger>("absent");
  std::thread stopper([&] {
    std::this_thread::sleep_for(30ms);
    context->shutdown("done");
  });
  EXPECT_FALSE(client->wait_for_service());
  stopper.join();
  EXPECT_FALSE(client->service_is_ready());
}

}  // namespace
