// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

/// @file rclcpp/detail/parameter_store.hpp
/// @brief The parameters of one node: declaration, typed access, the set pipeline
/// (read-only, static typing, ranges, on-set callbacks) and change notification.

#ifndef RCLCPP__DETAIL__PARAMETER_STORE_HPP_
#define RCLCPP__DETAIL__PARAMETER_STORE_HPP_

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "rcl_interfaces/msg/list_parameters_result.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/parameter_event.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/node_interfaces/node_parameters_interface.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"

namespace rclcpp {
namespace detail {

/// The parameters of one node, with the operations and texts of rclcpp::Node.
/**
 * Thread-safe: one recursive mutex guards everything, so on-set callbacks and change
 * observers may read parameters. Declaring, setting or (un)registering callbacks from
 * inside an on-set callback throws ParameterModifiedInCallbackException.
 */
class ParameterStore : public node_interfaces::NodeParametersInterface
{
public:
  using OnSetParametersCallbackHandle = node_interfaces::OnSetParametersCallbackHandle;
  using OnParametersSetCallbackType = OnSetParametersCallbackHandle::OnParametersSetCallbackType;

  /// @param overrides resolved overrides of the node (see resolve_parameter_overrides()).
  /// @param allow_undeclared_parameters setting undeclared parameters declares them
  ///   (dynamically typed); reading them gives NOT_SET instead of throwing.
  /// @param automatically_declare_parameters_from_overrides declare every override now,
  ///   dynamically typed.
  ParameterStore(
      std::map<std::string, rclcpp::ParameterValue> overrides, bool allow_undeclared_parameters,
      bool automatically_declare_parameters_from_overrides);

  /// Declares a parameter; its initial value is the override, if any and not ignored,
  /// else @p default_value. Unless `dynamic_typing`, its type is fixed to that value's type.
  /**
   * @return the stored value (valid until the parameter is changed or undeclared).
   * @throws exceptions::InvalidParametersException empty name;
   *   exceptions::ParameterAlreadyDeclaredException declared before;
   *   exceptions::InvalidParameterTypeException uninitialised static value or an override
   *   of another type; exceptions::InvalidParameterValueException range or callback refusal.
   */
  const rclcpp::ParameterValue & declare_parameter(
      const std::string & name, const rclcpp::ParameterValue & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false) override;

  /// Declares a statically typed parameter without default (NOT_SET unless overridden).
  /** @throws std::invalid_argument for PARAMETER_NOT_SET or a dynamic_typing descriptor. */
  const rclcpp::ParameterValue & declare_parameter(
      const std::string & name, rclcpp::ParameterType type,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false) override;

  /// Declares with a C++ default; returns the value as `ParameterValue(default).get<T>()`
  /// gives it (int → int64_t, float → double, string literal → std::string).
  template <typename ParameterT>
  auto declare_parameter(
      const std::string & name, const ParameterT & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false)
  {
    try {
      return declare_parameter(
                 name, rclcpp::ParameterValue(default_value), parameter_descriptor, ignore_override)
          .template get<ParameterT>();
    } catch (const ParameterTypeException & ex) {
      throw exceptions::InvalidParameterTypeException(name, ex.what());
    }
  }

  /// Declares a statically typed parameter of C++ type @p ParameterT that must be overridden.
  /** @throws exceptions::UninitializedStaticallyTypedParameterException without override. */
  template <typename ParameterT>
  auto declare_parameter(
      const std::string & name,
      const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor =
          rcl_interfaces::msg::ParameterDescriptor(),
      bool ignore_override = false)
  {
    const rclcpp::ParameterValue value{ParameterT{}};
    try {
      return declare_parameter(name, value.get_type(), parameter_descriptor, ignore_override)
          .template get<ParameterT>();
    } catch (const ParameterTypeException &) {
      throw exceptions::UninitializedStaticallyTypedParameterException(name);
    }
  }

  /// Declares `<namespace_>.<key>` for every entry, in map order.
  template <typename ParameterT>
  std::vector<ParameterT> declare_parameters(
      const std::string & namespace_, const std::map<std::string, ParameterT> & parameters,
      bool ignore_overrides = false)
  {
    std::vector<ParameterT> result;
    const std::string prefix = namespace_.empty() ? "" : namespace_ + ".";
    for (const auto & entry : parameters) {
      result.push_back(static_cast<ParameterT>(declare_parameter(
          prefix + entry.first, entry.second, rcl_interfaces::msg::ParameterDescriptor(),
          ignore_overrides)));
    }
    return result;
  }

  /// As above, each entry with its own descriptor.
  template <typename ParameterT>
  std::vector<ParameterT> declare_parameters(
      const std::string & namespace_,
      const std::map<std::string, std::pair<ParameterT, rcl_interfaces::msg::ParameterDescriptor>> &
          parameters,
      bool ignore_overrides = false)
  {
    std::vector<ParameterT> result;
    const std::string prefix = namespace_.empty() ? "" : namespace_ + ".";
    for (const auto & entry : parameters) {
      result.push_back(static_cast<ParameterT>(declare_parameter(
          prefix + entry.first, entry.second.first, entry.second.second, ignore_overrides)));
    }
    return result;
  }

  /// Removes a dynamically typed, writable parameter.
  /** @throws exceptions::ParameterNotDeclaredException, ParameterImmutableException,
   *  InvalidParameterTypeException (statically typed). */
  void undeclare_parameter(const std::string & name) override;

  bool has_parameter(const std::string & name) const override;

  /// = set_parameters_atomically({parameter}).
  rcl_interfaces::msg::SetParametersResult set_parameter(const rclcpp::Parameter & parameter);

  /// Sets each parameter on its own, in order; a throw stops the rest.
  std::vector<rcl_interfaces::msg::SetParametersResult> set_parameters(
      const std::vector<rclcpp::Parameter> & parameters) override;

  /// Sets all parameters or none. Refusals (read-only, type, range, callback) come back as
  /// `successful = false` with the reason.
  /** @throws exceptions::InvalidParametersException empty name;
   *  exceptions::ParameterNotDeclaredException undeclared (unless undeclared are allowed). */
  rcl_interfaces::msg::SetParametersResult set_parameters_atomically(
      const std::vector<rclcpp::Parameter> & parameters) override;

  /// @throws exceptions::ParameterNotDeclaredException (what() = the name) if undeclared;
  ///   exceptions::ParameterUninitializedException if statically typed and NOT_SET.
  rclcpp::Parameter get_parameter(const std::string & name) const override;

  /// False if undeclared or NOT_SET; never throws.
  bool get_parameter(const std::string & name, rclcpp::Parameter & parameter) const override;

  /// False if undeclared or NOT_SET. @throws exceptions::InvalidParameterTypeException.
  template <typename ParameterT>
  bool get_parameter(const std::string & name, ParameterT & parameter) const
  {
    rclcpp::Parameter found;
    const bool result = get_parameter(name, found);
    if (result) {
      parameter = static_cast<ParameterT>(found.get_value<ParameterT>());
    }
    return result;
  }

  /// @p parameter = value, or @p alternative_value when undeclared / NOT_SET.
  template <typename ParameterT>
  bool get_parameter_or(
      const std::string & name, ParameterT & parameter, const ParameterT & alternative_value) const
  {
    const bool got_parameter = get_parameter(name, parameter);
    if (!got_parameter) {
      parameter = alternative_value;
    }
    return got_parameter;
  }

  template <typename ParameterT>
  ParameterT get_parameter_or(const std::string & name, const ParameterT & alternative_value) const
  {
    ParameterT parameter;
    get_parameter_or(name, parameter, alternative_value);
    return parameter;
  }

  /// @throws exceptions::ParameterNotDeclaredException (unless undeclared are allowed).
  std::vector<rclcpp::Parameter> get_parameters(
      const std::vector<std::string> & names) const override;

  /// Values of the parameters named `<prefix>.<key>`, keyed by `<key>`; true if any.
  template <typename ParameterT>
  bool get_parameters(const std::string & prefix, std::map<std::string, ParameterT> & values) const
  {
    std::map<std::string, rclcpp::Parameter> found;
    const bool result = get_parameters_by_prefix(prefix, found);
    for (const auto & entry : found) {
      values[entry.first] = static_cast<ParameterT>(entry.second.get_value<ParameterT>());
    }
    return result;
  }

  bool get_parameters_by_prefix(
      const std::string & prefix,
      std::map<std::string, rclcpp::Parameter> & parameters) const override;

  /// @throws exceptions::ParameterNotDeclaredException (unless undeclared are allowed).
  rcl_interfaces::msg::ParameterDescriptor describe_parameter(const std::string & name) const;

  std::vector<rcl_interfaces::msg::ParameterDescriptor> describe_parameters(
      const std::vector<std::string> & names) const override;

  std::vector<uint8_t> get_parameter_types(const std::vector<std::string> & names) const override;

  /// Names (and their dot-separated prefixes) under @p prefixes up to @p depth dots below
  /// them (0: unlimited); all parameters when @p prefixes is empty.
  rcl_interfaces::msg::ListParametersResult list_parameters(
      const std::vector<std::string> & prefixes, uint64_t depth) const override;

  /// Registers a callback that can refuse sets; the newest runs first, the first refusal stops.
  [[nodiscard]] OnSetParametersCallbackHandle::SharedPtr add_on_set_parameters_callback(
      OnParametersSetCallbackType callback) override;

  /// @throws std::runtime_error `Callback doesn't exist` for an unknown handle.
  void remove_on_set_parameters_callback(
      const OnSetParametersCallbackHandle * const handler) override;

  const std::map<std::string, rclcpp::ParameterValue> & get_parameter_overrides() const override;

  /// Called after every successful declare or set with the parameters it changed (new
  /// values; NOT_SET for ones a set removed), outside any on-set callback. undeclare_parameter
  /// reports nothing, as ROS publishes no event for it.
  void set_on_parameters_changed(
      std::function<void(const std::vector<rclcpp::Parameter> &)> observer);

  /// Called after every successful change with the ParameterEvent describing it (node and
  /// stamp left for the caller to fill), outside any on-set callback.
  void set_on_parameter_event(
      std::function<void(const rcl_interfaces::msg::ParameterEvent &)> observer);

private:
  struct ParameterInfo
  {
    rclcpp::ParameterValue value;
    rcl_interfaces::msg::ParameterDescriptor descriptor;
  };
  using ParameterInfos = std::map<std::string, ParameterInfo>;

  // Marks the store as busy changing parameters; entering it again from an on-set callback
  // (same thread, the mutex being recursive) throws.
  class MutationGuard
  {
  public:
    explicit MutationGuard(bool & mutating);
    ~MutationGuard();
    MutationGuard(const MutationGuard &) = delete;
    MutationGuard & operator=(const MutationGuard &) = delete;

  private:
    bool & mutating_;
  };

  rcl_interfaces::msg::SetParametersResult check_and_store(
      const std::vector<rclcpp::Parameter> & parameters, ParameterInfos & infos, bool run_callbacks,
      bool allow_undeclared) const;
  rcl_interfaces::msg::SetParametersResult run_callbacks(
      const std::vector<rclcpp::Parameter> & parameters) const;
  rcl_interfaces::msg::SetParametersResult declare_common(
      const std::string & name, const rclcpp::ParameterValue & default_value,
      const rcl_interfaces::msg::ParameterDescriptor & descriptor, ParameterInfos & infos_out,
      bool run_callbacks, rcl_interfaces::msg::ParameterEvent & event, bool ignore_override) const;
  const rclcpp::ParameterValue & declare_checked(
      const std::string & name, rclcpp::ParameterType type,
      const rclcpp::ParameterValue & default_value,
      rcl_interfaces::msg::ParameterDescriptor descriptor, bool ignore_override,
      rcl_interfaces::msg::ParameterEvent & event);
  rcl_interfaces::msg::SetParametersResult set_atomically_locked(
      const std::vector<rclcpp::Parameter> & parameters,
      rcl_interfaces::msg::ParameterEvent & event);
  void notify(const rcl_interfaces::msg::ParameterEvent & event) const;

  mutable std::recursive_mutex mutex_;
  bool mutating_ = false;
  ParameterInfos parameters_;
  std::map<std::string, rclcpp::ParameterValue> overrides_;
  bool allow_undeclared_;
  // Weak: a callback lives as long as the handle its owner keeps.
  mutable std::list<OnSetParametersCallbackHandle::WeakPtr> callbacks_;
  std::function<void(const std::vector<rclcpp::Parameter> &)> on_parameters_changed_;
  std::function<void(const rcl_interfaces::msg::ParameterEvent &)> on_parameter_event_;
};

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__PARAMETER_STORE_HPP_
