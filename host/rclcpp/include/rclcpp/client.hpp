// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__CLIENT_HPP_
#define RCLCPP__CLIENT_HPP_

#include <chrono>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "rclcpp/callback_group.hpp"
#include "rclcpp/context.hpp"
#include "rclcpp/detail/executable_entity.hpp"
#include "rclcpp/detail/topic_endpoint.hpp"
#include "rclcpp/function_traits.hpp"
#include "rclcpp/logging.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/node_interfaces/node_graph_interface.hpp"
#include "rclcpp/visibility_control.hpp"
#include "rmw/types.h"
#include "rosidl_runtime_cpp/traits.hpp"

namespace rclcpp {

namespace detail {
class Graph;

/// A future plus the request id it belongs to. Move-only.
template <typename FutureT>
struct FutureAndRequestId
{
  FutureT future;
  int64_t request_id;

  FutureAndRequestId(FutureT impl, int64_t req_id) : future(std::move(impl)), request_id(req_id) {}

  /// Allow implicit conversions to the future by reference.
  [[deprecated("FutureAndRequestId: use .future instead of an implicit conversion")]]
  operator FutureT &()
  {
    return this->future;
  }

  /// Deprecated, use the `future` member instead.
  [[deprecated("FutureAndRequestId: use .future instead of an implicit conversion")]]
  operator FutureT()
  {
    return std::move(this->future);
  }

  auto get()
  {
    return this->future.get();
  }

  bool valid() const noexcept
  {
    return this->future.valid();
  }

  void wait() const
  {
    return this->future.wait();
  }

  template <class Rep, class Period>
  std::future_status wait_for(const std::chrono::duration<Rep, Period> & timeout_duration) const
  {
    return this->future.wait_for(timeout_duration);
  }

  template <class Clock, class Duration>
  std::future_status wait_until(const std::chrono::time_point<Clock, Duration> & timeout_time) const
  {
    return this->future.wait_until(timeout_time);
  }

  FutureAndRequestId(FutureAndRequestId && other) noexcept = default;
  FutureAndRequestId(const FutureAndRequestId & other) = delete;
  FutureAndRequestId & operator=(FutureAndRequestId && other) noexcept = default;
  FutureAndRequestId & operator=(const FutureAndRequestId & other) = delete;
  ~FutureAndRequestId() = default;
};
}  // namespace detail

/// Type-independent part of a service client: its place in the graph, request numbering and
/// the queue of responses waiting for the client's executor.
class RCLCPP_PUBLIC ClientBase : public detail::ExecutableEntity,
                                 public std::enable_shared_from_this<ClientBase>
{
public:
  RCLCPP_SMART_PTR_DEFINITIONS_NOT_COPYABLE(ClientBase)

  /// @brief Resolve the service name for the node and join the graph.
  /// @throws rclcpp::exceptions::InvalidServiceNameError for a bad name.
  ClientBase(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      rclcpp::node_interfaces::NodeGraphInterface::SharedPtr node_graph,
      const std::string & service_name, const char * type_name, const std::type_info & type,
      const rmw_qos_profile_t & qos_profile, const rclcpp::CallbackGroup::SharedPtr & group);

  /// @brief Leaves the graph; responses arriving later are dropped.
  virtual ~ClientBase();

  ClientBase(const ClientBase &) = delete;
  ClientBase & operator=(const ClientBase &) = delete;

  /// @brief Fully expanded and remapped service name.
  const char * get_service_name() const;

  /// @brief True if a server of this name and type exists (false once the context is shut
  /// down).
  bool service_is_ready() const;

  /// @brief Wait for a server: true at once if ready; zero timeout checks once; a negative
  /// timeout waits for ever. @return false on timeout or shutdown.
  /// @throws rclcpp::exceptions::InvalidNodeError if the owning node is gone.
  template <typename RepT = int64_t, typename RatioT = std::milli>
  bool wait_for_service(
      std::chrono::duration<RepT, RatioT> timeout = std::chrono::duration<RepT, RatioT>(-1))
  {
    return wait_for_service_nanoseconds(
        std::chrono::duration_cast<std::chrono::nanoseconds>(timeout));
  }

  Kind executable_kind() const override;

  bool has_work() override;

  void execute_one() override;

protected:
  bool wait_for_service_nanoseconds(std::chrono::nanoseconds timeout);

  /// @brief Number and send a request; returns its sequence number (1, 2, ... per client).
  int64_t send_type_erased_request(std::shared_ptr<const void> request);

  /// @brief Complete the pending request @p sequence_number (run on the client's executor).
  virtual void handle_response(int64_t sequence_number, std::shared_ptr<void> response) = 0;

  rclcpp::Context::SharedPtr context_;
  std::weak_ptr<rclcpp::node_interfaces::NodeGraphInterface> node_graph_;
  rclcpp::Logger node_logger_;

private:
  friend class detail::Graph;
  friend class ServiceBase;

  /// @brief Queue a response (called by a service, any thread).
  void deliver_response(int64_t sequence_number, std::shared_ptr<void> response);

  detail::EndpointData endpoint_;
  std::shared_ptr<detail::Graph> graph_;
  std::mutex send_mutex_;
  int64_t next_sequence_number_{1};

  std::mutex response_mutex_;
  std::deque<std::pair<int64_t, std::shared_ptr<void>>> responses_;
};

/// A client of service type ServiceT. All members are thread-safe; responses complete their
/// futures and run their callbacks on the executor that spins the client's callback group.
template <typename ServiceT>
class Client : public ClientBase
{
public:
  using Request = typename ServiceT::Request;
  using Response = typename ServiceT::Response;

  using SharedRequest = typename ServiceT::Request::SharedPtr;
  using SharedResponse = typename ServiceT::Response::SharedPtr;

  using Promise = std::promise<SharedResponse>;
  using PromiseWithRequest = std::promise<std::pair<SharedRequest, SharedResponse>>;

  using SharedPromise = std::shared_ptr<Promise>;
  using SharedPromiseWithRequest = std::shared_ptr<PromiseWithRequest>;

  using Future = std::future<SharedResponse>;
  using SharedFuture = std::shared_future<SharedResponse>;
  using SharedFutureWithRequest = std::shared_future<std::pair<SharedRequest, SharedResponse>>;

  using CallbackType = std::function<void(SharedFuture)>;
  using CallbackWithRequestType = std::function<void(SharedFutureWithRequest)>;

  RCLCPP_SMART_PTR_DEFINITIONS(Client)

  /// A future of the response and the request id, as returned by async_send_request().
  struct FutureAndRequestId : detail::FutureAndRequestId<std::future<SharedResponse>>
  {
    using detail::FutureAndRequestId<std::future<SharedResponse>>::FutureAndRequestId;

    /// Deprecated, use `.future.share()` instead.
    [[deprecated("FutureAndRequestId: use .future.share() instead of an implicit conversion")]]
    operator SharedFuture()
    {
      return this->future.share();
    }

    /// @brief Move the future into a shared future.
    SharedFuture share() noexcept
    {
      return this->future.share();
    }
  };

  /// A shared future of the response and the request id.
  struct SharedFutureAndRequestId : detail::FutureAndRequestId<std::shared_future<SharedResponse>>
  {
    using detail::FutureAndRequestId<std::shared_future<SharedResponse>>::FutureAndRequestId;
  };

  /// A shared future of the (request, response) pair and the request id.
  struct SharedFutureWithRequestAndRequestId
      : detail::FutureAndRequestId<std::shared_future<std::pair<SharedRequest, SharedResponse>>>
  {
    using detail::FutureAndRequestId<
        std::shared_future<std::pair<SharedRequest, SharedResponse>>>::FutureAndRequestId;
  };

  /// @brief Create a client; prefer Node::create_client().
  Client(
      rclcpp::node_interfaces::NodeBaseInterface * node_base,
      rclcpp::node_interfaces::NodeGraphInterface::SharedPtr node_graph,
      const std::string & service_name, const rmw_qos_profile_t & qos_profile,
      const rclcpp::CallbackGroup::SharedPtr & group)
      : ClientBase(
            node_base, std::move(node_graph), service_name,
            rosidl_generator_traits::name<ServiceT>(), typeid(ServiceT), qos_profile, group)
  {}

  virtual ~Client() = default;

  /// @brief Send a request; the future becomes ready when the client's executor takes the
  /// response. Never ready if the request is removed first or no server answers.
  FutureAndRequestId async_send_request(SharedRequest request)
  {
    Promise promise;
    auto future = promise.get_future();
    auto req_id = async_send_request_impl(*request, std::move(promise));
    return FutureAndRequestId(std::move(future), req_id);
  }

  /// @brief Send a request; @p cb runs on the client's executor with the ready future.
  template <
      typename CallbackT, typename std::enable_if<rclcpp::function_traits::same_arguments<
                              CallbackT, CallbackType>::value>::type * = nullptr>
  SharedFutureAndRequestId async_send_request(SharedRequest request, CallbackT && cb)
  {
    Promise promise;
    auto shared_future = promise.get_future().share();
    auto req_id = async_send_request_impl(
        *request,
        std::make_tuple(
            CallbackType{std::forward<CallbackT>(cb)}, shared_future, std::move(promise)));
    return SharedFutureAndRequestId{std::move(shared_future), req_id};
  }

  /// @brief Send a request; @p cb runs on the client's executor with the ready
  /// (request, response) future.
  template <
      typename CallbackT, typename std::enable_if<rclcpp::function_traits::same_arguments<
                              CallbackT, CallbackWithRequestType>::value>::type * = nullptr>
  SharedFutureWithRequestAndRequestId async_send_request(SharedRequest request, CallbackT && cb)
  {
    PromiseWithRequest promise;
    auto shared_future = promise.get_future().share();
    auto req_id = async_send_request_impl(
        *request, std::make_tuple(
                      CallbackWithRequestType{std::forward<CallbackT>(cb)}, request, shared_future,
                      std::move(promise)));
    return SharedFutureWithRequestAndRequestId{std::move(shared_future), req_id};
  }

  /// @brief Forget a pending request: its future never becomes ready and a late response is
  /// dropped. @return true if it was pending.
  bool remove_pending_request(int64_t request_id)
  {
    std::lock_guard<std::mutex> guard(pending_requests_mutex_);
    return pending_requests_.erase(request_id) != 0u;
  }

  bool remove_pending_request(const FutureAndRequestId & future)
  {
    return this->remove_pending_request(future.request_id);
  }

  bool remove_pending_request(const SharedFutureAndRequestId & future)
  {
    return this->remove_pending_request(future.request_id);
  }

  bool remove_pending_request(const SharedFutureWithRequestAndRequestId & future)
  {
    return this->remove_pending_request(future.request_id);
  }

  /// @brief Forget all pending requests. @return how many there were.
  size_t prune_pending_requests()
  {
    std::lock_guard<std::mutex> guard(pending_requests_mutex_);
    auto ret = pending_requests_.size();
    pending_requests_.clear();
    return ret;
  }

  /// @brief Forget the requests sent before @p time_point; their ids go to @p pruned_requests.
  template <typename AllocatorT = std::allocator<int64_t>>
  size_t prune_requests_older_than(
      std::chrono::time_point<std::chrono::system_clock> time_point,
      std::vector<int64_t, AllocatorT> * pruned_requests = nullptr)
  {
    std::lock_guard<std::mutex> guard(pending_requests_mutex_);
    auto old_size = pending_requests_.size();
    for (auto it = pending_requests_.begin(), last = pending_requests_.end(); it != last;) {
      if (it->second.first < time_point) {
        if (pruned_requests) {
          pruned_requests->push_back(it->first);
        }
        it = pending_requests_.erase(it);
      } else {
        ++it;
      }
    }
    return old_size - pending_requests_.size();
  }

protected:
  using CallbackTypeValueVariant = std::tuple<CallbackType, SharedFuture, Promise>;
  using CallbackWithRequestTypeValueVariant = std::tuple<
      CallbackWithRequestType, SharedRequest, SharedFutureWithRequest, PromiseWithRequest>;

  using CallbackInfoVariant = std::variant<
      std::promise<SharedResponse>, CallbackTypeValueVariant, CallbackWithRequestTypeValueVariant>;

  int64_t async_send_request_impl(const Request & request, CallbackInfoVariant value)
  {
    // Held across sending and recording, so a fast response waits for the entry.
    std::lock_guard<std::mutex> lock(pending_requests_mutex_);
    const int64_t sequence_number =
        this->send_type_erased_request(std::make_shared<const Request>(request));
    pending_requests_.try_emplace(
        sequence_number, std::make_pair(std::chrono::system_clock::now(), std::move(value)));
    return sequence_number;
  }

  std::optional<CallbackInfoVariant> get_and_erase_pending_request(int64_t request_number)
  {
    std::unique_lock<std::mutex> lock(pending_requests_mutex_);
    auto it = this->pending_requests_.find(request_number);
    if (it == this->pending_requests_.end()) {
      RCLCPP_DEBUG(this->node_logger_, "Received invalid sequence number. Ignoring...");
      return std::nullopt;
    }
    auto value = std::move(it->second.second);
    this->pending_requests_.erase(request_number);
    return value;
  }

  void handle_response(int64_t sequence_number, std::shared_ptr<void> response) override
  {
    std::optional<CallbackInfoVariant> optional_pending_request =
        this->get_and_erase_pending_request(sequence_number);
    if (!optional_pending_request) {
      return;
    }
    auto & value = *optional_pending_request;
    auto typed_response = std::static_pointer_cast<Response>(std::move(response));
    if (std::holds_alternative<Promise>(value)) {
      auto & promise = std::get<Promise>(value);
      promise.set_value(std::move(typed_response));
    } else if (std::holds_alternative<CallbackTypeValueVariant>(value)) {
      auto & inner = std::get<CallbackTypeValueVariant>(value);
      const auto & callback = std::get<CallbackType>(inner);
      auto & promise = std::get<Promise>(inner);
      auto & future = std::get<SharedFuture>(inner);
      promise.set_value(std::move(typed_response));
      callback(std::move(future));
    } else if (std::holds_alternative<CallbackWithRequestTypeValueVariant>(value)) {
      auto & inner = std::get<CallbackWithRequestTypeValueVariant>(value);
      const auto & callback = std::get<CallbackWithRequestType>(inner);
      auto & promise = std::get<PromiseWithRequest>(inner);
      auto & future = std::get<SharedFutureWithRequest>(inner);
      auto & request = std::get<SharedRequest>(inner);
      promise.set_value(std::make_pair(std::move(request), std::move(typed_response)));
      callback(std::move(future));
    }
  }

  std::unordered_map<
      int64_t, std::pair<std::chrono::time_point<std::chrono::system_clock>, CallbackInfoVariant>>
      pending_requests_;
  std::mutex pending_requests_mutex_;
};

}  // namespace rclcpp

#endif  // RCLCPP__CLIENT_HPP_
