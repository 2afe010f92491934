// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__SERVICE_HPP_
#define RCLCPP__SERVICE_HPP_

#include <array>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>
#include <utility>

#include "rclcpp/any_service_callback.hpp"
#include "rclcpp/callback_group.hpp"
#include "rclcpp/detail/executable_entity.hpp"
#include "rclcpp/detail/topic_endpoint.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rclcpp {

namespace detail {
class Graph;
}

class ClientBase;

/// Type-independent part of a service server: its place in the graph, the queue of requests
/// waiting for its executor and where each request's response goes.
class RCLCPP_PUBLIC ServiceBase : public detail::ExecutableEntity
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(ServiceBase)

  /// @brief Resolve the service name for the node and join the graph.
  /// @throws rclcpp::exceptions::InvalidServiceNameError for a bad name.
  ServiceBase(
      rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & service_name,
      const char * type_name, const std::type_info & type, const rmw_qos_profile_t & qos_profile,
      const rclcpp::CallbackGroup::SharedPtr & group);

  /// @brief Leaves the graph; queued requests are dropped.
  virtual ~ServiceBase();

  ServiceBase(const ServiceBase &) = delete;
  ServiceBase & operator=(const ServiceBase &) = delete;

  /// @brief Fully expanded and remapped service name.
  const char * get_service_name();

  Kind executable_kind() const override;

  bool has_work() override;

protected:
  /// @brief Take the oldest request; false if none.
  bool take_type_erased_request(std::shared_ptr<const void> & request, rmw_request_id_t & header);

  /// @brief Send the response to the client that sent request @p header; dropped if that
  /// client is gone or the request was already answered. Thread-safe.
  void send_type_erased_response(const rmw_request_id_t & header, std::shared_ptr<void> response);

private:
  friend class detail::Graph;

  /// @brief Queue a request (called by the graph, any thread).
  void deliver_request(
      const rmw_request_id_t & header, std::shared_ptr<const void> request,
      std::weak_ptr<ClientBase> client);

  using RouteKey = std::pair<std::array<int8_t, 16>, int64_t>;

  struct QueuedRequest
  {
    rmw_request_id_t header;
    std::shared_ptr<const void> request;
  };

  detail::EndpointData endpoint_;
  std::shared_ptr<detail::Graph> graph_;

  std::mutex mutex_;
  std::deque<QueuedRequest> requests_;
  std::map<RouteKey, std::weak_ptr<ClientBase>> routes_;
};

/// A server of service type ServiceT; its callback runs on the executor that spins its
/// callback group. send_response() is thread-safe.
template <typename ServiceT>
class Service : public ServiceBase, public std::enable_shared_from_this<Service<ServiceT>>
{
public:
  using CallbackType = std::function<void(
      const std::shared_ptr<typename ServiceT::Request>,
      std::shared_ptr<typename ServiceT::Response>)>;
  using CallbackWithHeaderType = std::function<void(
      const std::shared_ptr<rmw_request_id_t>, const std::shared_ptr<typename ServiceT::Request>,
      std::shared_ptr<typename ServiceT::Response>)>;

  RCLCPP_SMART_PTR_DEFINITIONS(Service)

  /// @brief Create a server; prefer Node::create_service().
  Service(
      rclcpp::node_interfaces::NodeBaseInterface * node_base, const std::string & service_name,
      AnyServiceCallback<ServiceT> any_callback, const rmw_qos_profile_t & qos_profile,
      const rclcpp::CallbackGroup::SharedPtr & group)
      : ServiceBase(
            node_base, service_name, rosidl_generator_traits::name<ServiceT>(), typeid(ServiceT),
            qos_profile, group),
        any_callback_(std::move(any_callback))
  {}

  virtual ~Service() = default;

  Service(const Service &) = delete;
  Service & operator=(const Service &) = delete;

  /// @brief Answer the request identified by @p req_id (used by the deferred callback forms).
  void send_response(rmw_request_id_t & req_id, typename ServiceT::Response & response)
  {
    send_type_erased_response(req_id, std::make_shared<typename ServiceT::Response>(response));
  }

  void execute_one() override
  {
    std::shared_ptr<const void> request;
    auto header = std::make_shared<rmw_request_id_t>();
    if (!take_type_erased_request(request, *header)) {
      return;
    }
    // Each server works on its own copy, as after deserialisation.
    auto typed_request = std::make_shared<typename ServiceT::Request>(
        *std::static_pointer_cast<const typename ServiceT::Request>(request));
    auto response = any_callback_.dispatch(this->shared_from_this(), header, typed_request);
    if (response) {
      send_response(*header, *response);
    }
  }

private:
  AnyServiceCallback<ServiceT> any_callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__SERVICE_HPP_
