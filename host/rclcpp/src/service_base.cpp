// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/service.hpp"

#include <algorithm>
#include <utility>

#include "rclcpp/client.hpp"

#include "graph.hpp"
#include "rcl_node_impl.hpp"

namespace rclcpp {
namespace {

std::array<int8_t, 16> guid_of(const rmw_request_id_t & header)
{
  std::array<int8_t, 16> guid{};
  std::copy(std::begin(header.writer_guid), std::end(header.writer_guid), guid.begin());
  return guid;
}

}  // namespace

ServiceBase::ServiceBase(
    rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & service_name,
    const char * type_name, const std::type_info & type, const rmw_qos_profile_t & qos_profile,
    const rclcpp::CallbackGroup::SharedPtr & group)
    : endpoint_(detail::make_endpoint_data(
          node_base, service_name, true, type_name, type, qos_profile,
          detail::EndpointRole::Reader)),
      graph_(endpoint_.node->graph)
{
  set_executable_group(group);
  graph_->add_service(*this);
}

ServiceBase::~ServiceBase()
{
  graph_->remove_service(*this);
}

const char * ServiceBase::get_service_name()
{
  return endpoint_.name.c_str();
}

detail::ExecutableEntity::Kind ServiceBase::executable_kind() const
{
  return Kind::Service;
}

bool ServiceBase::has_work()
{
  std::lock_guard<std::mutex> lock(mutex_);
  return !requests_.empty();
}

bool ServiceBase::take_type_erased_request(
    std::shared_ptr<const void> & request, rmw_request_id_t & header)
{
  std::lock_guard<std::mutex> lock(mutex_);
  if (requests_.empty()) {
    return false;
  }
  request = std::move(requests_.front().request);
  header = requests_.front().header;
  requests_.pop_front();
  return true;
}

void ServiceBase::send_type_erased_response(
    const rmw_request_id_t & header, std::shared_ptr<void> response)
{
  std::weak_ptr<ClientBase> weak_client;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = routes_.find(RouteKey{guid_of(header), header.sequence_number});
    if (it == routes_.end()) {
      return;
    }
    weak_client = it->second;
    routes_.erase(it);
  }
  if (auto client = weak_client.lock()) {
    client->deliver_response(header.sequence_number, std::move(response));
  }
}

void ServiceBase::deliver_request(
    const rmw_request_id_t & header, std::shared_ptr<const void> request,
    std::weak_ptr<ClientBase> client)
{
  {
    std::lock_guard<std::mutex> lock(mutex_);
    routes_[RouteKey{guid_of(header), header.sequence_number}] = std::move(client);
    requests_.push_back({header, std::move(request)});
  }
  notify_executor();
}

}  // namespace rclcpp
