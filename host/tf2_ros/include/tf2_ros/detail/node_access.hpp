// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2_ROS__DETAIL__NODE_ACCESS_HPP_
#define TF2_ROS__DETAIL__NODE_ACCESS_HPP_

#include <type_traits>
#include <utility>

namespace tf2_ros {
namespace detail {
template <class T, class = void>
struct is_pointer_like : std::false_type
{
};

template <class T>
struct is_pointer_like<T, std::void_t<decltype(*std::declval<T &>())>> : std::true_type
{
};

/// The node behind a shared pointer, a raw pointer or a reference, as broadcasters accept.
template <class NodeT>
decltype(auto) node_reference(NodeT && node)
{
  if constexpr (is_pointer_like<std::remove_reference_t<NodeT>>::value) {
    return *node;
  } else {
    return (node);
  }
}

}  // namespace detail
}  // namespace tf2_ros

#endif  // TF2_ROS__DETAIL__NODE_ACCESS_HPP_
