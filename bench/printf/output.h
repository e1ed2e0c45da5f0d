// The benchmarks' baseline: the interpreter's output interface with every
// line printed by one printf call. The baseline build places this file beside
// copies of the interpreter's sources, whose #include "output.h" then finds it
// instead of the real one.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <tuple>
#include <utility>

#include "format.h"

namespace out {

void flush();
int start(void (*on_stop)());
int finish();
// A stop that a break's handler asks for is taken at the next print; stdio
// writes what it holds at the end, partial line and all.
inline volatile std::sig_atomic_t stop_asked = 0;
inline void stop_at_line_end() { stop_asked = 1; }
inline void (*report_stop)() = nullptr;

namespace detail {

template <format_text F>
consteval auto conversions() {
  constexpr auto segments = parse<F>();
  std::array<conversion, argument_count(segments)> kinds{};
  std::size_t k = 0;
  for (const auto& s : segments)
    if (s.kind != conversion::literal) kinds[k++] = s.kind;
  return kinds;
}

template <conversion C, typename Arg>
auto printf_argument(Arg arg) {
  if constexpr (C == conversion::signed_decimal)
    return static_cast<int>(static_cast<std::int32_t>(arg));
  else if constexpr (C == conversion::unsigned_decimal)
    return static_cast<unsigned long>(static_cast<std::uint32_t>(arg));
  else if constexpr (C == conversion::hex)
    return static_cast<unsigned>(arg);
  else if constexpr (C == conversion::character)
    return static_cast<int>(arg);
  else
    return static_cast<const char*>(arg);
}

}  // namespace detail

template <format_text F, typename... Args>
void print(Args... args) {
  static constexpr auto kinds = detail::conversions<F>();
  static_assert(kinds.size() == sizeof...(Args), "argument count does not match the format");
  if constexpr (sizeof...(Args) == 0) {
    std::fputs(F.text, stdout);  // no conversions, so no '%' either
  } else {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      const std::tuple<Args...> values{args...};
      std::printf(F.text, detail::printf_argument<kinds[I]>(std::get<I>(values))...);
    }(std::index_sequence_for<Args...>{});
  }
  if (stop_asked != 0) report_stop();
}

}  // namespace out
