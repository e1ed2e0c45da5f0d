// The one path by which cputest writes anything.
//
// Every caller hands over a printf-style format text as a template argument:
//
//     out::print<"ADD R%d, R%d\n">(m, n);
//
// The format is taken apart at compile time, so a trace line costs a few
// stores into a large buffer and no format parsing. The buffer goes out in big
// writes: when it fills, at flush() and when the process ends normally. When
// standard output is a terminal every completed line is written at once.
//
// Conversions understood: %d (signed 32-bit decimal), %lu (unsigned 32-bit
// decimal), %X and %0<w>X (upper-case hexadecimal of the unsigned 32-bit value,
// optionally zero-padded to w digits), %c and %s. Anything else fails to compile.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

namespace out {

// ---------------------------------------------------------------------------
// Compile-time format texts

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

// ---------------------------------------------------------------------------
// The buffer

inline constexpr std::size_t buffer_size = 256 * 1024;
// Room always kept free past the limit, so that one fixed-format line can be
// rendered with a single check for space.
inline constexpr std::size_t line_reserve = 512;

struct buffer_state {
  char* cursor;      // next free byte
  char* limit;       // flush before writing a line that may pass this
  bool line_at_once; // standard output is a terminal
};
extern buffer_state state;
extern char buffer[buffer_size + line_reserve];

// Writes out everything buffered.
void flush();
// Sends all later output into text (appended at each flush) instead of
// standard output; nullptr returns to standard output.
void capture_into(std::string* text);
// Drops everything buffered and not yet written.
void discard();
// Decides, once, whether each line goes out at once (terminal) or in big
// writes, and arranges for the buffer to be written when the process ends.
void start();
// Appends bytes of any length (the %s path).
void append(const char* bytes, std::size_t size);

// ---------------------------------------------------------------------------
// Rendering

namespace detail {

inline constexpr char hex_digits[] = "0123456789ABCDEF";

inline char* put_hex_fixed(char* p, std::uint32_t v, unsigned width) {
  for (unsigned i = width; i-- > 0;) {
    p[i] = hex_digits[v & 0xF];
    v >>= 4;
  }
  return p + width;
}

inline char* put_hex(char* p, std::uint32_t v, unsigned width) {
  const unsigned digits = std::max(1u, static_cast<unsigned>((std::bit_width(v) + 3) / 4));
  return put_hex_fixed(p, v, std::max(digits, width));
}

inline char* put_unsigned(char* p, std::uint32_t v) {
  char digits[10];
  unsigned n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

inline char* put_signed(char* p, std::int32_t v) {
  if (v < 0) {
    *p++ = '-';
    return put_unsigned(p, 0u - static_cast<std::uint32_t>(v));
  }
  return put_unsigned(p, static_cast<std::uint32_t>(v));
}

template <typename T>
constexpr std::uint32_t as_word(T v) {
  static_assert(std::is_integral_v<T>, "numbers only");
  return static_cast<std::uint32_t>(v);
}

template <segment S, typename Arg>
inline char* put_conversion(char* p, Arg arg) {
  if constexpr (S.kind == conversion::signed_decimal) {
    return put_signed(p, static_cast<std::int32_t>(as_word(arg)));
  } else if constexpr (S.kind == conversion::unsigned_decimal) {
    return put_unsigned(p, as_word(arg));
  } else if constexpr (S.kind == conversion::hex) {
    return put_hex(p, as_word(arg), S.width);
  } else {
    static_assert(S.kind == conversion::character, "%s is written by the string path");
    *p = static_cast<char>(arg);
    return p + 1;
  }
}

template <format_text F, auto Segments, std::size_t I, typename Arg, typename... Rest>
inline char* render_next(char* p, Arg arg, Rest... rest);
template <format_text F, auto Segments, std::size_t I, typename Arg, typename... Rest>
inline void render_slow_next(Arg arg, Rest... rest);

// Formats without %s: the caller has made room for the longest possible line.
template <format_text F, auto Segments, std::size_t I, typename... Args>
inline char* render(char* p, Args... args) {
  if constexpr (I == Segments.size()) {
    static_assert(sizeof...(Args) == 0, "more arguments than conversions");
    return p;
  } else if constexpr (Segments[I].kind == conversion::literal) {
    std::memcpy(p, F.text + Segments[I].start, Segments[I].size);
    return render<F, Segments, I + 1>(p + Segments[I].size, args...);
  } else {
    return render_next<F, Segments, I>(p, args...);
  }
}

template <format_text F, auto Segments, std::size_t I, typename Arg, typename... Rest>
inline char* render_next(char* p, Arg arg, Rest... rest) {
  return render<F, Segments, I + 1>(put_conversion<Segments[I]>(p, arg), rest...);
}

// Formats with %s: each piece checks for room on its own.
template <format_text F, auto Segments, std::size_t I, typename... Args>
inline void render_slow(Args... args) {
  if constexpr (I == Segments.size()) {
    static_assert(sizeof...(Args) == 0, "more arguments than conversions");
  } else if constexpr (Segments[I].kind == conversion::literal) {
    append(F.text + Segments[I].start, Segments[I].size);
    render_slow<F, Segments, I + 1>(args...);
  } else {
    render_slow_next<F, Segments, I>(args...);
  }
}

template <format_text F, auto Segments, std::size_t I, typename Arg, typename... Rest>
inline void render_slow_next(Arg arg, Rest... rest) {
  if constexpr (Segments[I].kind == conversion::string) {
    const char* text = arg;
    append(text, std::strlen(text));
  } else {
    char piece[16];
    append(piece, static_cast<std::size_t>(put_conversion<Segments[I]>(piece, arg) - piece));
  }
  render_slow<F, Segments, I + 1>(rest...);
}

}  // namespace detail

template <format_text F, typename... Args>
inline void print(Args... args) {
  static constexpr auto segments = parse<F>();
  static_assert(argument_count(segments) == sizeof...(Args), "argument count does not match the format");
  if constexpr (has_string(segments)) {
    detail::render_slow<F, segments, 0>(args...);
  } else {
    static_assert(fixed_bound(segments) <= line_reserve, "format too long for one line");
    if (state.cursor > state.limit) flush();
    state.cursor = detail::render<F, segments, 0>(state.cursor, args...);
  }
  if constexpr (F.text[F.length - 1] == '\n') {
    if (state.line_at_once) flush();
  }
}

}  // namespace out
