// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__ANY_SERVICE_CALLBACK_HPP_
#define RCLCPP__ANY_SERVICE_CALLBACK_HPP_

#include <functional>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

#include "rclcpp/function_traits.hpp"
#include "rmw/types.h"

namespace rclcpp {

template <typename ServiceT>
class Service;

namespace detail {
template <typename T, typename = void>
struct can_be_nullptr : std::false_type
{
};

// Function pointers and std::function can be null; lambdas cannot.
template <typename T>
struct can_be_nullptr<T, std::void_t<decltype(std::declval<T>() == nullptr)>> : std::true_type
{
};
}  // namespace detail

/// Holds one of the service callback forms and runs it for a request.
template <typename ServiceT>
class AnyServiceCallback
{
public:
  AnyServiceCallback() : callback_(std::monostate{}) {}

  /// @brief Store @p callback, which takes (request, response), (header, request, response),
  /// (header, request) or (service, header, request); the last two answer later through
  /// Service::send_response(). @throws std::invalid_argument for a null callback.
  template <
      typename CallbackT,
      typename std::enable_if_t<!detail::can_be_nullptr<CallbackT>::value, int> = 0>
  void set(CallbackT && callback)
  {
    assign(std::forward<CallbackT>(callback));
  }

  template <
      typename CallbackT,
      typename std::enable_if_t<detail::can_be_nullptr<CallbackT>::value, int> = 0>
  void set(CallbackT && callback)
  {
    if (!callback) {
      throw std::invalid_argument("AnyServiceCallback::set(): callback cannot be nullptr");
    }
    assign(std::forward<CallbackT>(callback));
  }

  /// @brief Run the callback; returns the response to send, or null for the deferred forms.
  std::shared_ptr<typename ServiceT::Response> dispatch(
      const std::shared_ptr<rclcpp::Service<ServiceT>> & service_handle,
      const std::shared_ptr<rmw_request_id_t> & request_header,
      std::shared_ptr<typename ServiceT::Request> request)
  {
    if (std::holds_alternative<std::monostate>(callback_)) {
      throw std::runtime_error{"unexpected request without any callback set"};
    }
    if (std::holds_alternative<SharedPtrDeferResponseCallback>(callback_)) {
      const auto & cb = std::get<SharedPtrDeferResponseCallback>(callback_);
      cb(request_header, std::move(request));
      return nullptr;
    }
    if (std::holds_alternative<SharedPtrDeferResponseCallbackWithServiceHandle>(callback_)) {
      const auto & cb = std::get<SharedPtrDeferResponseCallbackWithServiceHandle>(callback_);
      cb(service_handle, request_header, std::move(request));
      return nullptr;
    }
    auto response = std::make_shared<typename ServiceT::Response>();
    if (std::holds_alternative<SharedPtrCallback>(callback_)) {
      (void)request_header;
      const auto & cb = std::get<SharedPtrCallback>(callback_);
      cb(std::move(request), response);
    } else if (std::holds_alternative<SharedPtrWithRequestHeaderCallback>(callback_)) {
      const auto & cb = std::get<SharedPtrWithRequestHeaderCallback>(callback_);
      cb(request_header, std::move(request), response);
    }
    return response;
  }

private:
  using SharedPtrCallback = std::function<void(
      std::shared_ptr<typename ServiceT::Request>, std::shared_ptr<typename ServiceT::Response>)>;
  using SharedPtrWithRequestHeaderCallback = std::function<void(
      std::shared_ptr<rmw_request_id_t>, std::shared_ptr<typename ServiceT::Request>,
      std::shared_ptr<typename ServiceT::Response>)>;
  using SharedPtrDeferResponseCallback = std::function<void(
      std::shared_ptr<rmw_request_id_t>, std::shared_ptr<typename ServiceT::Request>)>;
  using SharedPtrDeferResponseCallbackWithServiceHandle = std::function<void(
      std::shared_ptr<rclcpp::Service<ServiceT>>, std::shared_ptr<rmw_request_id_t>,
      std::shared_ptr<typename ServiceT::Request>)>;

  template <typename CallbackT>
  void assign(CallbackT && callback)
  {
    using rclcpp::function_traits::same_arguments;
    using DecayedT = std::decay_t<CallbackT>;
    if constexpr (same_arguments<DecayedT, SharedPtrCallback>::value) {
      callback_.template emplace<SharedPtrCallback>(std::forward<CallbackT>(callback));
    } else if constexpr (same_arguments<DecayedT, SharedPtrWithRequestHeaderCallback>::value) {
      callback_.template emplace<SharedPtrWithRequestHeaderCallback>(
          std::forward<CallbackT>(callback));
    } else if constexpr (same_arguments<DecayedT, SharedPtrDeferResponseCallback>::value) {
      callback_.template emplace<SharedPtrDeferResponseCallback>(std::forward<CallbackT>(callback));
    } else if constexpr (same_arguments<
                             DecayedT, SharedPtrDeferResponseCallbackWithServiceHandle>::value) {
      callback_.template emplace<SharedPtrDeferResponseCallbackWithServiceHandle>(
          std::forward<CallbackT>(callback));
    } else {
      callback_ = std::forward<CallbackT>(callback);
    }
  }

  std::variant<
      std::monostate, SharedPtrCallback, SharedPtrWithRequestHeaderCallback,
      SharedPtrDeferResponseCallback, SharedPtrDeferResponseCallbackWithServiceHandle>
      callback_;
};

}  // namespace rclcpp

#endif  // RCLCPP__ANY_SERVICE_CALLBACK_HPP_
