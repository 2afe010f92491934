// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#include "rclcpp/detail/parameter_store.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace rclcpp {
namespace detail {

namespace {

using rcl_interfaces::msg::ParameterDescriptor;
using rcl_interfaces::msg::SetParametersResult;

// ListParameters request depth meaning "no limit".
constexpr uint64_t kDepthRecursive = 0;

SetParametersResult success()
{
  SetParametersResult result;
  result.successful = true;
  return result;
}

SetParametersResult failure(const std::string & reason)
{
  SetParametersResult result;
  result.successful = false;
  result.reason = reason;
  return result;
}

bool doubles_equal(double x, double y)
{
  // Relative tolerance of 100 ulp, as ROS uses for floating point ranges.
  return std::abs(x - y) <= std::numeric_limits<double>::epsilon() * std::abs(x + y) * 100.0;
}

std::string range_reason(const std::string & name, const char * range_type)
{
  return "Parameter {" + name + "} doesn't comply with " + range_type + " range.";
}

std::string type_reason(const std::string & name, ParameterType old_type, ParameterType new_type)
{
  return "Wrong parameter type, parameter {" + name + "} is of type {" + to_string(old_type) +
         "}, setting it to {" + to_string(new_type) + "} is not allowed.";
}

// Endpoints always comply; inside the range a non-zero step must divide the distance
// from the lower end.
SetParametersResult check_range(
    const ParameterDescriptor & descriptor, const rclcpp::ParameterValue & value)
{
  if (!descriptor.integer_range.empty() && value.get_type() == PARAMETER_INTEGER) {
    const int64_t v = value.get<int64_t>();
    const auto & range = descriptor.integer_range.front();
    if (v == range.from_value || v == range.to_value) {
      return success();
    }
    if (v < range.from_value || v > range.to_value) {
      return failure(range_reason(descriptor.name, "integer"));
    }
    if (range.step == 0 || (v - range.from_value) % static_cast<int64_t>(range.step) == 0) {
      return success();
    }
    return failure(range_reason(descriptor.name, "integer"));
  }
  if (!descriptor.floating_point_range.empty() && value.get_type() == PARAMETER_DOUBLE) {
    const double v = value.get<double>();
    const auto & range = descriptor.floating_point_range.front();
    if (doubles_equal(v, range.from_value) || doubles_equal(v, range.to_value)) {
      return success();
    }
    if (v < range.from_value || v > range.to_value) {
      return failure(range_reason(descriptor.name, "floating point"));
    }
    if (range.step == 0.0) {
      return success();
    }
    const double steps = std::round((v - range.from_value) / range.step);
    if (doubles_equal(v, range.from_value + steps * range.step)) {
      return success();
    }
    return failure(range_reason(descriptor.name, "floating point"));
  }
  return success();
}

bool starts_with(const std::string & text, const char * prefix)
{
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

ParameterStore::MutationGuard::MutationGuard(bool & mutating) : mutating_(mutating)
{
  if (mutating_) {
    throw exceptions::ParameterModifiedInCallbackException(
        "cannot set or declare a parameter, or change the callback from within set callback");
  }
  mutating_ = true;
}

ParameterStore::MutationGuard::~MutationGuard()
{
  mutating_ = false;
}

ParameterStore::ParameterStore(
    std::map<std::string, rclcpp::ParameterValue> overrides, bool allow_undeclared_parameters,
    bool automatically_declare_parameters_from_overrides)
    : overrides_(std::move(overrides)), allow_undeclared_(allow_undeclared_parameters)
{
  if (automatically_declare_parameters_from_overrides) {
    ParameterDescriptor descriptor;
    descriptor.dynamic_typing = true;
    for (const auto & entry : overrides_) {
      if (!has_parameter(entry.first)) {
        declare_parameter(entry.first, entry.second, descriptor, true);
      }
    }
  }
}

const rclcpp::ParameterValue & ParameterStore::declare_parameter(
    const std::string & name, const rclcpp::ParameterValue & default_value,
    const ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  rcl_interfaces::msg::ParameterEvent event;
  const rclcpp::ParameterValue * value = nullptr;
  {
    MutationGuard guard(mutating_);
    value = &declare_checked(
        name, PARAMETER_NOT_SET, default_value, parameter_descriptor, ignore_override, event);
  }
  notify(event);
  return *value;
}

const rclcpp::ParameterValue & ParameterStore::declare_parameter(
    const std::string & name, rclcpp::ParameterType type,
    const ParameterDescriptor & parameter_descriptor, bool ignore_override)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  rcl_interfaces::msg::ParameterEvent event;
  const rclcpp::ParameterValue * value = nullptr;
  {
    MutationGuard guard(mutating_);
    if (type == PARAMETER_NOT_SET) {
      throw std::invalid_argument(
          "declare_parameter(): the provided parameter type cannot be rclcpp::PARAMETER_NOT_SET");
    }
    if (parameter_descriptor.dynamic_typing) {
      // The missing space is in the ROS text too.
      throw std::invalid_argument(
          "declare_parameter(): cannot declare parameter of specific type and pass descriptor"
          "with `dynamic_typing=true`");
    }
    value = &declare_checked(
        name, type, rclcpp::ParameterValue(), parameter_descriptor, ignore_override, event);
  }
  notify(event);
  return *value;
}

const rclcpp::ParameterValue & ParameterStore::declare_checked(
    const std::string & name, rclcpp::ParameterType type,
    const rclcpp::ParameterValue & default_value, ParameterDescriptor descriptor,
    bool ignore_override, rcl_interfaces::msg::ParameterEvent & event)
{
  if (name.empty()) {
    throw exceptions::InvalidParametersException("parameter name must not be empty");
  }
  if (parameters_.count(name) != 0) {
    throw exceptions::ParameterAlreadyDeclaredException(
        "parameter '" + name + "' has already been declared");
  }
  if (!descriptor.dynamic_typing) {
    if (type == PARAMETER_NOT_SET) {
      type = default_value.get_type();
    }
    if (type == PARAMETER_NOT_SET) {
      throw exceptions::InvalidParameterTypeException(
          name, "cannot declare a statically typed parameter with an uninitialized value");
    }
    descriptor.type = type;
  }
  const SetParametersResult result =
      declare_common(name, default_value, descriptor, parameters_, true, event, ignore_override);
  if (!result.successful) {
    if (starts_with(result.reason, "Wrong parameter type")) {
      throw exceptions::InvalidParameterTypeException(name, result.reason);
    }
    throw exceptions::InvalidParameterValueException(
        "parameter '" + name + "' could not be set: " + result.reason);
  }
  return parameters_.at(name).value;
}

SetParametersResult ParameterStore::declare_common(
    const std::string & name, const rclcpp::ParameterValue & default_value,
    const ParameterDescriptor & descriptor, ParameterInfos & infos_out, bool with_callbacks,
    rcl_interfaces::msg::ParameterEvent & event, bool ignore_override) const
{
  ParameterInfos staged;
  staged[name].descriptor = descriptor;
  const rclcpp::ParameterValue * initial_value = &default_value;
  const auto override_it = overrides_.find(name);
  if (!ignore_override && override_it != overrides_.end()) {
    initial_value = &override_it->second;
  }
  if (initial_value->get_type() == PARAMETER_NOT_SET) {
    // Declared without a value: no checks, no callbacks, no event.
    staged[name].descriptor.name = name;
    staged[name].descriptor.type =
        descriptor.dynamic_typing ? static_cast<uint8_t>(PARAMETER_NOT_SET) : descriptor.type;
    infos_out[name] = staged[name];
    return success();
  }
  const std::vector<rclcpp::Parameter> initial{rclcpp::Parameter(name, *initial_value)};
  const SetParametersResult result = check_and_store(initial, staged, with_callbacks, false);
  if (!result.successful) {
    return result;
  }
  infos_out[name] = staged[name];
  event.new_parameters.push_back(initial.front().to_parameter_msg());
  return result;
}

SetParametersResult ParameterStore::check_and_store(
    const std::vector<rclcpp::Parameter> & parameters, ParameterInfos & infos, bool with_callbacks,
    bool allow_undeclared) const
{
  for (const rclcpp::Parameter & parameter : parameters) {
    const std::string & name = parameter.get_name();
    ParameterDescriptor descriptor;
    const auto it = infos.find(name);
    if (it != infos.end()) {
      descriptor = it->second.descriptor;
    } else {
      // Implicitly declared parameters are dynamically typed.
      descriptor.dynamic_typing = allow_undeclared;
    }
    if (descriptor.name.empty()) {
      descriptor.name = name;
    }
    const auto declared_type = static_cast<ParameterType>(descriptor.type);
    if (!descriptor.dynamic_typing && declared_type != parameter.get_type()) {
      return failure(type_reason(name, declared_type, parameter.get_type()));
    }
    const SetParametersResult in_range = check_range(descriptor, parameter.get_parameter_value());
    if (!in_range.successful) {
      return in_range;
    }
  }
  if (with_callbacks) {
    const SetParametersResult accepted = run_callbacks(parameters);
    if (!accepted.successful) {
      return accepted;
    }
  }
  for (const rclcpp::Parameter & parameter : parameters) {
    ParameterInfo & info = infos[parameter.get_name()];
    info.descriptor.name = parameter.get_name();
    info.descriptor.type = parameter.get_type();
    info.value = parameter.get_parameter_value();
  }
  return success();
}

SetParametersResult ParameterStore::run_callbacks(
    const std::vector<rclcpp::Parameter> & parameters) const
{
  for (auto it = callbacks_.begin(); it != callbacks_.end();) {
    const auto handle = it->lock();
    if (!handle) {
      it = callbacks_.erase(it);
      continue;
    }
    const SetParametersResult result = handle->callback(parameters);
    if (!result.successful) {
      return result;
    }
    ++it;
  }
  return success();
}

void ParameterStore::undeclare_parameter(const std::string & name)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  MutationGuard guard(mutating_);
  const auto it = parameters_.find(name);
  if (it == parameters_.end()) {
    throw exceptions::ParameterNotDeclaredException(
        "cannot undeclare parameter '" + name + "' which has not yet been declared");
  }
  if (it->second.descriptor.read_only) {
    throw exceptions::ParameterImmutableException(
        "cannot undeclare parameter '" + name + "' because it is read-only");
  }
  if (!it->second.descriptor.dynamic_typing) {
    throw exceptions::InvalidParameterTypeException(
        name, "cannot undeclare an statically typed parameter");
  }
  parameters_.erase(it);
}

bool ParameterStore::has_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return parameters_.count(name) != 0;
}

SetParametersResult ParameterStore::set_parameter(const rclcpp::Parameter & parameter)
{
  return set_parameters_atomically({parameter});
}

std::vector<SetParametersResult> ParameterStore::set_parameters(
    const std::vector<rclcpp::Parameter> & parameters)
{
  std::vector<SetParametersResult> results;
  results.reserve(parameters.size());
  for (const rclcpp::Parameter & parameter : parameters) {
    results.push_back(set_parameters_atomically({parameter}));
  }
  return results;
}

SetParametersResult ParameterStore::set_parameters_atomically(
    const std::vector<rclcpp::Parameter> & parameters)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  rcl_interfaces::msg::ParameterEvent event;
  SetParametersResult result;
  {
    MutationGuard guard(mutating_);
    result = set_atomically_locked(parameters, event);
  }
  if (result.successful) {
    notify(event);
  }
  return result;
}

SetParametersResult ParameterStore::set_atomically_locked(
    const std::vector<rclcpp::Parameter> & parameters, rcl_interfaces::msg::ParameterEvent & event)
{
  std::vector<const rclcpp::Parameter *> to_declare;
  for (const rclcpp::Parameter & parameter : parameters) {
    const std::string & name = parameter.get_name();
    if (name.empty()) {
      throw exceptions::InvalidParametersException("parameter name must not be empty");
    }
    const auto it = parameters_.find(name);
    if (it == parameters_.end()) {
      if (!allow_undeclared_) {
        throw exceptions::ParameterNotDeclaredException(
            "parameter '" + name + "' cannot be set because it was not declared");
      }
      to_declare.push_back(&parameter);
      continue;
    }
    if (it->second.descriptor.read_only) {
      return failure("parameter '" + name + "' cannot be set because it is read-only");
    }
  }

  // Undeclared parameters are declared in a staging area first so that a failure later on
  // leaves the store untouched; the callbacks then see all parameters in one call.
  ParameterInfos staged;
  ParameterDescriptor dynamic_descriptor;
  dynamic_descriptor.dynamic_typing = true;
  for (const rclcpp::Parameter * parameter : to_declare) {
    const SetParametersResult declared = declare_common(
        parameter->get_name(), parameter->get_parameter_value(), dynamic_descriptor, staged, false,
        event, true);
    if (!declared.successful) {
      return declared;
    }
  }

  // Setting NOT_SET removes a dynamically typed parameter.
  std::vector<std::string> to_undeclare;
  for (const rclcpp::Parameter & parameter : parameters) {
    if (parameter.get_type() != PARAMETER_NOT_SET) {
      continue;
    }
    const auto it = parameters_.find(parameter.get_name());
    if (it != parameters_.end() && it->second.value.get_type() != PARAMETER_NOT_SET) {
      if (!it->second.descriptor.dynamic_typing) {
        return failure("cannot undeclare an statically typed parameter");
      }
      to_undeclare.push_back(parameter.get_name());
    }
  }

  const SetParametersResult result =
      check_and_store(parameters, parameters_, true, allow_undeclared_);
  if (!result.successful) {
    return result;
  }
  for (const auto & entry : staged) {
    parameters_[entry.first] = entry.second;
  }
  for (const std::string & name : to_undeclare) {
    const auto it = parameters_.find(name);
    event.deleted_parameters.push_back(
        rclcpp::Parameter(it->first, it->second.value).to_parameter_msg());
    parameters_.erase(it);
  }
  for (const rclcpp::Parameter & parameter : parameters) {
    const std::string & name = parameter.get_name();
    if (staged.count(name) != 0 ||
        std::find(to_undeclare.begin(), to_undeclare.end(), name) != to_undeclare.end()) {
      continue;
    }
    event.changed_parameters.push_back(parameter.to_parameter_msg());
  }
  return result;
}

rclcpp::Parameter ParameterStore::get_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto it = parameters_.find(name);
  if (it != parameters_.end() &&
      (it->second.value.get_type() != PARAMETER_NOT_SET || it->second.descriptor.dynamic_typing)) {
    return rclcpp::Parameter(name, it->second.value);
  }
  if (allow_undeclared_) {
    return rclcpp::Parameter();
  }
  if (it == parameters_.end()) {
    throw exceptions::ParameterNotDeclaredException(name);
  }
  throw exceptions::ParameterUninitializedException(name);
}

bool ParameterStore::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const auto it = parameters_.find(name);
  if (it == parameters_.end() || it->second.value.get_type() == PARAMETER_NOT_SET) {
    return false;
  }
  parameter = rclcpp::Parameter(name, it->second.value);
  return true;
}

std::vector<rclcpp::Parameter> ParameterStore::get_parameters(
    const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<rclcpp::Parameter> results;
  results.reserve(names.size());
  for (const std::string & name : names) {
    const auto it = parameters_.find(name);
    if (it != parameters_.end()) {
      results.emplace_back(name, it->second.value);
    } else if (allow_undeclared_) {
      results.emplace_back(name, rclcpp::ParameterValue());
    } else {
      throw exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

bool ParameterStore::get_parameters_by_prefix(
    const std::string & prefix, std::map<std::string, rclcpp::Parameter> & parameters) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string prefix_with_dot = prefix.empty() ? prefix : prefix + ".";
  bool found = false;
  for (const auto & entry : parameters_) {
    if (starts_with(entry.first, prefix_with_dot.c_str()) &&
        entry.first.size() > prefix_with_dot.size()) {
      parameters[entry.first.substr(prefix_with_dot.size())] =
          rclcpp::Parameter(entry.second.descriptor.name, entry.second.value);
      found = true;
    }
  }
  return found;
}

ParameterDescriptor ParameterStore::describe_parameter(const std::string & name) const
{
  return describe_parameters({name}).front();
}

std::vector<ParameterDescriptor> ParameterStore::describe_parameters(
    const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<ParameterDescriptor> results;
  results.reserve(names.size());
  for (const std::string & name : names) {
    const auto it = parameters_.find(name);
    if (it != parameters_.end()) {
      results.push_back(it->second.descriptor);
    } else if (allow_undeclared_) {
      ParameterDescriptor descriptor;
      descriptor.name = name;
      results.push_back(descriptor);
    } else {
      throw exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

std::vector<uint8_t> ParameterStore::get_parameter_types(
    const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<uint8_t> results;
  results.reserve(names.size());
  for (const std::string & name : names) {
    const auto it = parameters_.find(name);
    if (it != parameters_.end()) {
      results.push_back(it->second.value.get_type());
    } else if (allow_undeclared_) {
      results.push_back(PARAMETER_NOT_SET);
    } else {
      throw exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

rcl_interfaces::msg::ListParametersResult ParameterStore::list_parameters(
    const std::vector<std::string> & prefixes, uint64_t depth) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  rcl_interfaces::msg::ListParametersResult result;
  const auto within_depth = [depth](const std::string & rest) {
    return depth == kDepthRecursive ||
           static_cast<uint64_t>(std::count(rest.begin(), rest.end(), '.')) < depth;
  };
  for (const auto & entry : parameters_) {
    const std::string & name = entry.first;
    const bool listed_all = prefixes.empty() && within_depth(name);
    const bool prefix_matches =
        std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string & prefix) {
          if (name == prefix) {
            return true;
          }
          return starts_with(name, (prefix + ".").c_str()) &&
                 within_depth(name.substr(prefix.size()));
        });
    if (!listed_all && !prefix_matches) {
      continue;
    }
    result.names.push_back(name);
    const size_t last_dot = name.find_last_of('.');
    if (last_dot != std::string::npos) {
      const std::string name_prefix = name.substr(0, last_dot);
      if (std::find(result.prefixes.begin(), result.prefixes.end(), name_prefix) ==
          result.prefixes.end()) {
        result.prefixes.push_back(name_prefix);
      }
    }
  }
  return result;
}

ParameterStore::OnSetParametersCallbackHandle::SharedPtr
ParameterStore::add_on_set_parameters_callback(OnParametersSetCallbackType callback)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  MutationGuard guard(mutating_);
  auto handle = std::make_shared<OnSetParametersCallbackHandle>();
  handle->callback = std::move(callback);
  callbacks_.push_front(handle);
  return handle;
}

void ParameterStore::remove_on_set_parameters_callback(
    const OnSetParametersCallbackHandle * const handler)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  MutationGuard guard(mutating_);
  const auto it = std::find_if(callbacks_.begin(), callbacks_.end(), [handler](const auto & weak) {
    return weak.lock().get() == handler;
  });
  if (it == callbacks_.end()) {
    throw std::runtime_error("Callback doesn't exist");
  }
  callbacks_.erase(it);
}

const std::map<std::string, rclcpp::ParameterValue> & ParameterStore::get_parameter_overrides()
    const
{
  return overrides_;
}

void ParameterStore::set_on_parameters_changed(
    std::function<void(const std::vector<rclcpp::Parameter> &)> observer)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  on_parameters_changed_ = std::move(observer);
}

void ParameterStore::set_on_parameter_event(
    std::function<void(const rcl_interfaces::msg::ParameterEvent &)> observer)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  on_parameter_event_ = std::move(observer);
}

void ParameterStore::notify(const rcl_interfaces::msg::ParameterEvent & event) const
{
  if (event.new_parameters.empty() && event.changed_parameters.empty() &&
      event.deleted_parameters.empty()) {
    return;
  }
  if (on_parameters_changed_) {
    std::vector<rclcpp::Parameter> changed;
    for (const auto & message : event.new_parameters) {
      changed.push_back(rclcpp::Parameter::from_parameter_msg(message));
    }
    for (const auto & message : event.changed_parameters) {
      changed.push_back(rclcpp::Parameter::from_parameter_msg(message));
    }
    for (const auto & message : event.deleted_parameters) {
      changed.emplace_back(message.name);
    }
    on_parameters_changed_(changed);
  }
  if (on_parameter_event_) {
    on_parameter_event_(event);
  }
}

}  // namespace detail
}  // namespace rclcpp
