// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_
#define RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_

#include <functional>
#include <memory>
#include <stdexcept>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>

#include "rclcpp/function_traits.hpp"
#include "rclcpp/message_info.hpp"

namespace rclcpp {

namespace detail {
template <typename>
struct always_false : std::false_type
{
};
}  // namespace detail

/// Holds one of the accepted subscription callback forms and calls it with a message.
///
/// Accepted parameter lists (exact types): `(const T &)`, `(std::unique_ptr<T>)`,
/// `(std::shared_ptr<const T>)`, `(const std::shared_ptr<const T> &)`, each optionally
/// followed by `const rclcpp::MessageInfo &`; `(T)` by value (called with a copy); and the
/// deprecated `(std::shared_ptr<T>)`. `(const std::shared_ptr<T> &)` is rejected.
template <typename MessageT, typename AllocatorT = std::allocator<void>>
class AnySubscriptionCallback
{
public:
  using ConstRefCallback = std::function<void(const MessageT &)>;
  using ConstRefWithInfoCallback =
      std::function<void(const MessageT &, const rclcpp::MessageInfo &)>;
  using UniquePtrCallback = std::function<void(std::unique_ptr<MessageT>)>;
  using UniquePtrWithInfoCallback =
      std::function<void(std::unique_ptr<MessageT>, const rclcpp::MessageInfo &)>;
  using SharedConstPtrCallback = std::function<void(std::shared_ptr<const MessageT>)>;
  using SharedConstPtrWithInfoCallback =
      std::function<void(std::shared_ptr<const MessageT>, const rclcpp::MessageInfo &)>;
  using ConstRefSharedConstPtrCallback =
      std::function<void(const std::shared_ptr<const MessageT> &)>;
  using ConstRefSharedConstPtrWithInfoCallback =
      std::function<void(const std::shared_ptr<const MessageT> &, const rclcpp::MessageInfo &)>;
  using SharedPtrCallback = std::function<void(std::shared_ptr<MessageT>)>;
  using SharedPtrWithInfoCallback =
      std::function<void(std::shared_ptr<MessageT>, const rclcpp::MessageInfo &)>;

  AnySubscriptionCallback() = default;

  /// @brief Store @p callback in the alternative that its parameter list selects.
  template <typename CallbackT>
  AnySubscriptionCallback<MessageT, AllocatorT> set(CallbackT callback)
  {
    using Args = typename rclcpp::function_traits::function_traits<CallbackT>::arguments;
    using Info = const rclcpp::MessageInfo &;
    if constexpr (std::is_same_v<Args, std::tuple<const MessageT &>>) {
      callback_variant_ = ConstRefCallback(std::move(callback));
    } else if constexpr (std::is_same_v<Args, std::tuple<const MessageT &, Info>>) {
      callback_variant_ = ConstRefWithInfoCallback(std::move(callback));
    } else if constexpr (std::is_same_v<Args, std::tuple<std::unique_ptr<MessageT>>>) {
      callback_variant_ = UniquePtrCallback(std::move(callback));
    } else if constexpr (std::is_same_v<Args, std::tuple<std::unique_ptr<MessageT>, Info>>) {
      callback_variant_ = UniquePtrWithInfoCallback(std::move(callback));
    } else if constexpr (std::is_same_v<Args, std::tuple<std::shared_ptr<const MessageT>>>) {
      callback_variant_ = SharedConstPtrCallback(std::move(callback));
    } else if constexpr (std::is_same_v<Args, std::tuple<std::shared_ptr<const MessageT>, Info>>) {
      callback_variant_ = SharedConstPtrWithInfoCallback(std::move(callback));
    } else if constexpr (std::is_same_v<
                             Args, std::tuple<const std::shared_ptr<const MessageT> &>>) {
      callback_variant_ = ConstRefSharedConstPtrCallback(std::move(callback));
    } else if constexpr (std::is_same_v<
                             Args, std::tuple<const std::shared_ptr<const MessageT> &, Info>>) {
      callback_variant_ = ConstRefSharedConstPtrWithInfoCallback(std::move(callback));
    } else if constexpr (std::is_same_v<Args, std::tuple<std::shared_ptr<MessageT>>>) {
      set_deprecated(SharedPtrCallback(std::move(callback)));
    } else if constexpr (std::is_same_v<Args, std::tuple<std::shared_ptr<MessageT>, Info>>) {
      set_deprecated(SharedPtrWithInfoCallback(std::move(callback)));
    } else if constexpr (std::is_same_v<Args, std::tuple<MessageT>>) {
      // By value: only the const reference form can call it (with a copy).
      callback_variant_ = ConstRefCallback(std::move(callback));
    } else if constexpr (std::is_same_v<Args, std::tuple<MessageT, Info>>) {
      callback_variant_ = ConstRefWithInfoCallback(std::move(callback));
    } else if constexpr (std::is_same_v<Args, std::tuple<const std::shared_ptr<MessageT> &>>) {
      static_assert(
          detail::always_false<CallbackT>::value,
          "subscription callback 'void(const std::shared_ptr<MessageT> &)' is not supported, "
          "use 'void(const std::shared_ptr<const MessageT> &)' instead");
    } else {
      static_assert(
          detail::always_false<CallbackT>::value, "unsupported subscription callback signature");
    }
    return *this;
  }

  /// Deprecated form: a mutable shared pointer to a copy of the message.
  template <typename SetT>
  [[deprecated("use 'void(std::shared_ptr<const MessageT>)' instead")]] void set_deprecated(
      std::function<void(SetT)> callback)
  {
    callback_variant_ = std::move(callback);
  }

  /// Deprecated form with message info.
  template <typename SetT>
  [[deprecated(
      "use 'void(std::shared_ptr<const MessageT>, const rclcpp::MessageInfo &)' instead")]] void
  set_deprecated(std::function<void(SetT, const rclcpp::MessageInfo &)> callback)
  {
    callback_variant_ = std::move(callback);
  }

  /// @brief Call the stored callback with @p message (copied where the form needs ownership).
  /// @throws std::runtime_error if no callback was set.
  void dispatch(std::shared_ptr<const MessageT> message, const rclcpp::MessageInfo & message_info)
  {
    std::visit(
        [&message, &message_info](auto && callback) {
          using T = std::decay_t<decltype(callback)>;
          if constexpr (std::is_same_v<T, std::monostate>) {
            throw std::runtime_error("dispatch called on an unset AnySubscriptionCallback");
          } else if constexpr (std::is_same_v<T, ConstRefCallback>) {
            callback(*message);
          } else if constexpr (std::is_same_v<T, ConstRefWithInfoCallback>) {
            callback(*message, message_info);
          } else if constexpr (std::is_same_v<T, UniquePtrCallback>) {
            callback(std::make_unique<MessageT>(*message));
          } else if constexpr (std::is_same_v<T, UniquePtrWithInfoCallback>) {
            callback(std::make_unique<MessageT>(*message), message_info);
          } else if constexpr (
              std::is_same_v<T, SharedConstPtrCallback> ||
              std::is_same_v<T, ConstRefSharedConstPtrCallback>) {
            callback(message);
          } else if constexpr (
              std::is_same_v<T, SharedConstPtrWithInfoCallback> ||
              std::is_same_v<T, ConstRefSharedConstPtrWithInfoCallback>) {
            callback(message, message_info);
          } else if constexpr (std::is_same_v<T, SharedPtrCallback>) {
            callback(std::make_shared<MessageT>(*message));
          } else if constexpr (std::is_same_v<T, SharedPtrWithInfoCallback>) {
            callback(std::make_shared<MessageT>(*message), message_info);
          }
        },
        callback_variant_);
  }

private:
  std::variant<
      std::monostate, ConstRefCallback, ConstRefWithInfoCallback, UniquePtrCallback,
      UniquePtrWithInfoCallback, SharedConstPtrCallback, SharedConstPtrWithInfoCallback,
      ConstRefSharedConstPtrCallback, ConstRefSharedConstPtrWithInfoCallback, SharedPtrCallback,
      SharedPtrWithInfoCallback>
      callback_variant_;
};

}  // namespace rclcpp

#endif  // RCLCPP__ANY_SUBSCRIPTION_CALLBACK_HPP_
