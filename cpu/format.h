// printf-style format texts taken apart at compile time: the output path
// renders from the pieces, and the benchmarks' printf baseline checks its
// arguments against them.
//
// Conversions understood: %d (signed 32-bit decimal), %lu (unsigned 32-bit
// decimal), %X and %0<w>X (upper-case hexadecimal of the unsigned 32-bit value,
// optionally zero-padded to w digits), %c and %s. Anything else fails to compile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace out {

template <std::size_t N>
struct format_text {
  char text[N]{};
  consteval format_text(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
  }
  static constexpr std::size_t length = N - 1;
};

enum class conversion : std::uint8_t { literal, signed_decimal, unsigned_decimal, hex, character, string };

struct segment {
  conversion kind = conversion::literal;
  std::size_t start = 0;  // literal: first byte of the text
  std::size_t size = 0;   // literal: number of bytes
  unsigned width = 0;     // hex: zero-padded width, 0 for none
};

template <format_text F>
consteval std::size_t count_segments() {
  std::size_t count = 0;
  bool in_literal = false;
  for (std::size_t i = 0; i < F.length; ++i) {
    if (F.text[i] == '%') {
      ++count;
      in_literal = false;
      ++i;
      while (i < F.length && ((F.text[i] >= '0' && F.text[i] <= '9') || F.text[i] == 'l')) ++i;
    } else if (!in_literal) {
      ++count;
      in_literal = true;
    }
  }
  return count;
}

template <format_text F>
consteval auto parse() {
  std::array<segment, count_segments<F>()> segments{};
  std::size_t n = 0;
  for (std::size_t i = 0; i < F.length;) {
    if (F.text[i] != '%') {
      const std::size_t start = i;
      while (i < F.length && F.text[i] != '%') ++i;
      segments[n++] = {conversion::literal, start, i - start, 0};
      continue;
    }
    ++i;
    unsigned width = 0;
    bool zero_pad = false;
    if (i < F.length && F.text[i] == '0') {
      zero_pad = true;
      ++i;
    }
    while (i < F.length && F.text[i] >= '0' && F.text[i] <= '9') width = width * 10 + (F.text[i++] - '0');
    bool is_long = false;
    if (i < F.length && F.text[i] == 'l') {
      is_long = true;
      ++i;
    }
    if (i >= F.length) throw "format ends inside a conversion";
    const char c = F.text[i++];
    segment s{};
    if (c == 'd' && !is_long && width == 0) {
      s.kind = conversion::signed_decimal;
    } else if (c == 'u' && is_long && width == 0) {
      s.kind = conversion::unsigned_decimal;
    } else if (c == 'X' && !is_long && (width == 0 || (zero_pad && width <= 8))) {
      s.kind = conversion::hex;
      s.width = width;
    } else if (c == 'c' && !is_long && width == 0) {
      s.kind = conversion::character;
    } else if (c == 's' && !is_long && width == 0) {
      s.kind = conversion::string;
    } else {
      throw "unsupported conversion";
    }
    segments[n++] = s;
  }
  return segments;
}

template <std::size_t N>
consteval std::size_t argument_count(const std::array<segment, N>& segments) {
  std::size_t count = 0;
  for (const auto& s : segments) count += s.kind != conversion::literal;
  return count;
}

// The most bytes a line can take, not counting %s texts.
template <std::size_t N>
consteval std::size_t fixed_bound(const std::array<segment, N>& segments) {
  std::size_t bound = 0;
  for (const auto& s : segments) {
    switch (s.kind) {
      case conversion::literal: bound += s.size; break;
      case conversion::signed_decimal: bound += 11; break;
      case conversion::unsigned_decimal: bound += 10; break;
      case conversion::hex: bound += 8; break;
      case conversion::character: bound += 1; break;
      case conversion::string: break;
    }
  }
  return bound;
}

template <std::size_t N>
consteval bool has_string(const std::array<segment, N>& segments) {
  for (const auto& s : segments)
    if (s.kind == conversion::string) return true;
  return false;
}

}  // namespace out
