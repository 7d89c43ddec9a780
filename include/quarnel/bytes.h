// The byte ranges the library takes: any contiguous range of one-byte
// elements (char, signed char, unsigned char, std::byte: std::string,
// std::string_view, std::vector, std::array, std::span, C arrays), or a
// pointer and a length. No cast is needed at a call. An array is taken
// whole: a string literal with its terminating NUL, so pass text as a
// std::string_view.
#pragma once

#include <cstddef>
#include <iterator>
#include <type_traits>
#include <utility>

namespace quarnel {
inline namespace v1 {
namespace detail {

template <class T>
struct is_byte : std::false_type {};
template <>
struct is_byte<char> : std::true_type {};
template <>
struct is_byte<signed char> : std::true_type {};
template <>
struct is_byte<unsigned char> : std::true_type {};
template <>
struct is_byte<std::byte> : std::true_type {};
#if defined(__cpp_char8_t)
template <>
struct is_byte<char8_t> : std::true_type {};
#endif

// The element type of a range that has data() and size(), or void.
template <class Range, class = void>
struct element_of {
  using type = void;
};
template <class Range>
struct element_of<Range, std::void_t<decltype(std::data(std::declval<Range&>())),
                                     decltype(std::size(std::declval<Range&>()))>> {
  using type = std::remove_pointer_t<decltype(std::data(std::declval<Range&>()))>;
};
template <class Range>
using element_t = typename element_of<Range>::type;

template <class T>
inline constexpr bool is_byte_v = is_byte<std::remove_cv_t<T>>::value;

}  // namespace detail

// Bytes to read.
class ByteView {
 public:
  constexpr ByteView() noexcept = default;
  template <class T, std::enable_if_t<detail::is_byte_v<T>, int> = 0>
  ByteView(const T* data, std::size_t size) noexcept
      : data_(reinterpret_cast<const unsigned char*>(data)), size_(size) {}
  template <class Range,
            std::enable_if_t<detail::is_byte_v<detail::element_t<const Range>>, int> = 0>
  ByteView(const Range& range) noexcept  // NOLINT(google-explicit-constructor): any range converts
      : ByteView(std::data(range), std::size(range)) {}

  [[nodiscard]] constexpr const unsigned char* data() const noexcept { return data_; }
  [[nodiscard]] constexpr std::size_t size() const noexcept { return size_; }
  [[nodiscard]] constexpr bool empty() const noexcept { return size_ == 0; }

 private:
  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Room to write bytes into.
class WritableBytes {
 public:
  constexpr WritableBytes() noexcept = default;
  template <class T, std::enable_if_t<detail::is_byte_v<T> && !std::is_const_v<T>, int> = 0>
  WritableBytes(T* data, std::size_t size) noexcept
      : data_(reinterpret_cast<unsigned char*>(data)), size_(size) {}
  template <class Range, class Element = detail::element_t<std::remove_reference_t<Range>>,
            std::enable_if_t<detail::is_byte_v<Element> && !std::is_const_v<Element> &&
                                 !std::is_same_v<std::decay_t<Range>, WritableBytes>,
                             int> = 0>
  WritableBytes(Range&& range) noexcept  // NOLINT(google-explicit-constructor): any range converts
      : WritableBytes(std::data(range), std::size(range)) {}

  [[nodiscard]] constexpr unsigned char* data() const noexcept { return data_; }
  [[nodiscard]] constexpr std::size_t size() const noexcept { return size_; }

 private:
  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

// Room to write characters into: char elements only.
class CharBuffer {
 public:
  constexpr CharBuffer() noexcept = default;
  constexpr CharBuffer(char* data, std::size_t size) noexcept : data_(data), size_(size) {}
  template <
      class Range,
      std::enable_if_t<std::is_same_v<detail::element_t<std::remove_reference_t<Range>>, char> &&
                           !std::is_same_v<std::decay_t<Range>, CharBuffer>,
                       int> = 0>
  CharBuffer(Range&& range) noexcept  // NOLINT(google-explicit-constructor): any range converts
      : CharBuffer(std::data(range), std::size(range)) {}

  [[nodiscard]] constexpr char* data() const noexcept { return data_; }
  [[nodiscard]] constexpr std::size_t size() const noexcept { return size_; }

 private:
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace v1
}  // namespace quarnel
