// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef RCLCPP__FUNCTION_TRAITS_HPP_
#define RCLCPP__FUNCTION_TRAITS_HPP_

#include <functional>
#include <memory>
#include <tuple>
#include <type_traits>

namespace rclcpp {
namespace function_traits {

/// Return type, argument list and arity of a callable: function types and pointers, member
/// function pointers, classes with one operator() (lambdas, std::function) and libstdc++
/// std::bind results of free or member functions (the bound function's own parameters).
template <typename FunctionT>
struct function_traits
{
  using arguments = typename function_traits<decltype(&FunctionT::operator())>::arguments;
  static constexpr std::size_t arity = std::tuple_size<arguments>::value;
  template <std::size_t N>
  using argument_type = typename std::tuple_element<N, arguments>::type;
  using return_type = typename function_traits<decltype(&FunctionT::operator())>::return_type;
};

template <typename ReturnTypeT, typename... Args>
struct function_traits<ReturnTypeT(Args...)>
{
  using arguments = std::tuple<Args...>;
  static constexpr std::size_t arity = sizeof...(Args);
  template <std::size_t N>
  using argument_type = typename std::tuple_element<N, arguments>::type;
  using return_type = ReturnTypeT;
};

template <typename ReturnTypeT, typename... Args>
struct function_traits<ReturnTypeT (*)(Args...)> : function_traits<ReturnTypeT(Args...)>
{
};

template <typename ClassT, typename ReturnTypeT, typename... Args>
struct function_traits<ReturnTypeT (ClassT::*)(Args...)> : function_traits<ReturnTypeT(Args...)>
{
};

template <typename ClassT, typename ReturnTypeT, typename... Args>
struct function_traits<ReturnTypeT (ClassT::*)(Args...) const>
    : function_traits<ReturnTypeT(Args...)>
{
};

#if defined __GLIBCXX__
// std::bind of a member function: the member's own parameter list.
template <typename ClassT, typename ReturnTypeT, typename... Args, typename... FArgs>
struct function_traits<std::_Bind<ReturnTypeT (ClassT::*(FArgs...))(Args...)>>
    : function_traits<ReturnTypeT(Args...)>
{
};

template <typename ClassT, typename ReturnTypeT, typename... Args, typename... FArgs>
struct function_traits<std::_Bind<ReturnTypeT (ClassT::*(FArgs...))(Args...) const>>
    : function_traits<ReturnTypeT(Args...)>
{
};

// std::bind of a free function.
template <typename ReturnTypeT, typename... Args, typename... FArgs>
struct function_traits<std::_Bind<ReturnTypeT (*(FArgs...))(Args...)>>
    : function_traits<ReturnTypeT(Args...)>
{
};
#endif

template <typename FunctionT>
struct function_traits<FunctionT &> : function_traits<FunctionT>
{
};

template <typename FunctionT>
struct function_traits<FunctionT &&> : function_traits<FunctionT>
{
};

template <typename FunctionT>
struct function_traits<const FunctionT> : function_traits<FunctionT>
{
};

/// True if FunctorT takes exactly Args.
template <typename FunctorT, typename... Args>
struct check_arguments
    : std::is_same<typename function_traits<FunctorT>::arguments, std::tuple<Args...>>
{
};

/// True if both callables take the same arguments.
template <typename FunctorAT, typename FunctorBT>
struct same_arguments : std::is_same<
                            typename function_traits<FunctorAT>::arguments,
                            typename function_traits<FunctorBT>::arguments>
{
};

}  // namespace function_traits
}  // namespace rclcpp

#endif  // RCLCPP__FUNCTION_TRAITS_HPP_
