// Copyright 2024 Skelmar Robotics
// Licensed under the Apache License, Version 2.0

#ifndef TF2__IMPL__CONVERT_H_
#define TF2__IMPL__CONVERT_H_

namespace tf2 {
namespace impl {
/// @brief Picks the conversion path of tf2::convert() from whether each side is a message.
template <bool IS_MESSAGE_A, bool IS_MESSAGE_B>
class Converter
{
public:
  template <typename A, typename B>
  static void convert(const A & a, B & b);
};

// Message to message has no generic path.
template <>
template <typename A, typename B>
inline void Converter<true, true>::convert(const A & a, B & b);

template <>
template <typename A, typename B>
inline void Converter<true, false>::convert(const A & a, B & b)
{
  fromMsg(a, b);
}

template <>
template <typename A, typename B>
inline void Converter<false, true>::convert(const A & a, B & b)
{
  b = toMsg(a);
}

template <>
template <typename A, typename B>
inline void Converter<false, false>::convert(const A & a, B & b)
{
  fromMsg(toMsg(a), b);
}

}  // namespace impl
}  // namespace tf2

#endif  // TF2__IMPL__CONVERT_H_
