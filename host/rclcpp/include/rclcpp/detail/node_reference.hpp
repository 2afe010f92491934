// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__DETAIL__NODE_REFERENCE_HPP_
#define RCLCPP__DETAIL__NODE_REFERENCE_HPP_

#include <type_traits>
#include <utility>

namespace rclcpp {
namespace detail {

template <typename T, typename = void>
struct is_node_like : std::false_type
{
};

template <typename T>
struct is_node_like<T, std::void_t<decltype(std::declval<T &>().get_node_base_interface())>>
    : std::true_type
{
};

/// @brief The node behind a node, a node pointer or a node shared pointer.
template <typename NodeT>
decltype(auto) node_reference(NodeT && node)
{
  if constexpr (is_node_like<std::remove_reference_t<NodeT>>::value) {
    return (node);
  } else {
    return (*node);
  }
}

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__NODE_REFERENCE_HPP_
