// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/client.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "rclcpp/exceptions.hpp"

#include "graph.hpp"
#include "rcl_node_impl.hpp"

namespace rclcpp {

ClientBase::ClientBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base,
    rclcpp::node_interfaces::NodeGraphInterface::SharedPtr node_graph,
    const std::string & service_name, const char * type_name, const std::type_info & type,
    const rmw_qos_profile_t & qos_profile, const rclcpp::CallbackGroup::SharedPtr & group)
    : context_(node_base->get_context()),
      node_graph_(node_graph),
      node_logger_(rclcpp::get_logger(node_base->get_shared_rcl_node_handle()->logger_name)),
      endpoint_(detail::make_endpoint_data(
          node_base, service_name, true, type_name, type, qos_profile,
          detail::EndpointRole::Writer)),
      graph_(endpoint_.node->graph)
{
  set_executable_group(group);
  graph_->add_client(*this);
}

ClientBase::~ClientBase()
{
  graph_->remove_client(*this);
}

const char * ClientBase::get_service_name() const
{
  return endpoint_.name.c_str();
}

bool ClientBase::service_is_ready() const
{
  return context_->is_valid() && graph_->service_is_ready(*this);
}

bool ClientBase::wait_for_service_nanoseconds(std::chrono::nanoseconds timeout)
{
  const auto start = std::chrono::steady_clock::now();
  auto node_ptr = node_graph_.lock();
  if (!node_ptr) {
    throw rclcpp::exceptions::InvalidNodeError();
  }
  if (service_is_ready()) {
    return true;
  }
  if (timeout == std::chrono::nanoseconds(0)) {
    return false;
  }
  auto event = node_ptr->get_graph_event();
  std::chrono::nanoseconds time_to_wait = timeout > std::chrono::nanoseconds(0)
                                              ? timeout - (std::chrono::steady_clock::now() - start)
                                              : std::chrono::nanoseconds::max();
  if (time_to_wait < std::chrono::nanoseconds(0)) {
    time_to_wait = std::chrono::nanoseconds(0);
  }
  do {
    if (!context_->is_valid()) {
      return false;
    }
    // Bounded steps, as rclcpp does, so shutdown is noticed promptly.
    node_ptr->wait_for_graph_change(
        event, std::min(time_to_wait, std::chrono::nanoseconds(std::chrono::milliseconds(100))));
    event->check_and_clear();
    if (service_is_ready()) {
      return true;
    }
    if (timeout > std::chrono::nanoseconds(0)) {
      time_to_wait = timeout - (std::chrono::steady_clock::now() - start);
    }
  } while (time_to_wait > std::chrono::nanoseconds(0));
  return false;
}

int64_t ClientBase::send_type_erased_request(std::shared_ptr<const void> request)
{
  std::lock_guard<std::mutex> lock(send_mutex_);
  rmw_request_id_t request_id{};
  std::memcpy(request_id.writer_guid, endpoint_.gid.data, sizeof(request_id.writer_guid));
  request_id.sequence_number = next_sequence_number_++;
  graph_->send_request(*this, request_id, std::move(request));
  return request_id.sequence_number;
}

detail::ExecutableEntity::Kind ClientBase::executable_kind() const
{
  return Kind::Client;
}

bool ClientBase::has_work()
{
  std::lock_guard<std::mutex> lock(response_mutex_);
  return !responses_.empty();
}

void ClientBase::execute_one()
{
  std::pair<int64_t, std::shared_ptr<void>> response;
  {
    std::lock_guard<std::mutex> lock(response_mutex_);
    if (responses_.empty()) {
      return;
    }
    response = std::move(responses_.front());
    responses_.pop_front();
  }
  handle_response(response.first, std::move(response.second));
}

void ClientBase::deliver_response(int64_t sequence_number, std::shared_ptr<void> response)
{
  {
    std::lock_guard<std::mutex> lock(response_mutex_);
    responses_.emplace_back(sequence_number, std::move(response));
  }
  notify_executor();
}

}  // namespace rclcpp
