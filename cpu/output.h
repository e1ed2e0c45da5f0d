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
// A write that fails for good ends the process with a message on standard
// error; SIGINT, SIGTERM and SIGHUP end it once every complete line is out.
//
// Conversions understood: %d (signed 32-bit decimal), %lu (unsigned 32-bit
// decimal), %X and %0<w>X (upper-case hexadecimal of the unsigned 32-bit value,
// optionally zero-padded to w digits), %c and %s. Anything else fails to compile.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

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
  // Next free byte. A break signal's handler writes out the whole lines
  // before it, so it is atomic and moves only past bytes already stored.
  std::atomic<char*> cursor;
  char* limit;       // flush before writing a line that may pass this
  bool line_at_once; // standard output is a terminal
};
extern buffer_state state;
extern char buffer[buffer_size + line_reserve];

[[gnu::always_inline]] inline char* cursor() { return state.cursor.load(std::memory_order_relaxed); }
// Moves the cursor past bytes just stored. The fence keeps the compiler from
// storing the cursor ahead of them; it costs no instruction.
[[gnu::always_inline]] inline void advance_to(char* end) {
  std::atomic_signal_fence(std::memory_order_release);
  state.cursor.store(end, std::memory_order_relaxed);
}

// Writes out what is buffered. To standard output only whole lines go out: a
// partial last line stays at the start of the buffer until it is complete or
// the process ends, so that nothing written ever ends inside a line. Into a
// capture everything goes.
void flush();
// Sends all later output into text (appended at each flush) instead of
// standard output; nullptr returns to standard output.
void capture_into(std::string* text);
// Drops everything buffered and not yet written.
void discard();
// Decides, once, whether each line goes out at once (terminal) or in big
// writes, arranges for the buffer to be written when the process ends, and
// takes over SIGINT, SIGTERM and SIGHUP (unless they are ignored).
void start();
// Appends bytes of any length (the %s path).
void append(const char* bytes, std::size_t size);

// ---------------------------------------------------------------------------
// Rendering

namespace detail {

static_assert(std::endian::native == std::endian::little,
              "the digit rendering stores whole words in memory order");

// The two hexadecimal digits of every byte value.
inline constexpr auto hex_pairs = [] {
  constexpr char digits[] = "0123456789ABCDEF";
  std::array<std::uint16_t, 256> pairs{};
  for (unsigned b = 0; b < 256; ++b)
    pairs[b] = static_cast<std::uint16_t>(digits[b >> 4] | digits[b & 0xF] << 8);
  return pairs;
}();

// Eight hexadecimal digits of v as one word whose bytes, stored in memory
// order, read most significant digit first.
inline std::uint64_t hex_chars(std::uint32_t v) {
  return std::uint64_t{hex_pairs[v >> 24]} | std::uint64_t{hex_pairs[(v >> 16) & 0xFF]} << 16 |
         std::uint64_t{hex_pairs[(v >> 8) & 0xFF]} << 32 | std::uint64_t{hex_pairs[v & 0xFF]} << 48;
}

template <unsigned Width>
inline char* put_hex(char* p, std::uint32_t v) {
  const std::uint64_t chars = hex_chars(v);
  if constexpr (Width == 8) {
    std::memcpy(p, &chars, 8);
    return p + 8;
  } else {
    // Without a fixed width, as many digits as the value needs, at least one
    // and at least Width.
    const unsigned needed = std::max(1u, static_cast<unsigned>((std::bit_width(v) + 3) / 4));
    const unsigned digits = std::max(needed, Width);
    // Drop the leading zeros: in memory order they are the low bytes. All
    // eight bytes are stored; those past the digits lie in the line's room
    // and are overwritten by whatever follows.
    const std::uint64_t kept = chars >> (8 * (8 - digits));
    std::memcpy(p, &kept, 8);
    return p + digits;
  }
}

inline char* put_unsigned(char* p, std::uint32_t v) {
  if (v < 10) {
    *p = static_cast<char>('0' + v);
    return p + 1;
  }
  if (v < 100) {
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
    return p + 2;
  }
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
    return put_hex<S.width>(p, as_word(arg));
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

#ifdef RUVO_PRINTF_OUTPUT

// The benchmarks' baseline: the same lines through one printf call each.
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
  if constexpr (C == conversion::signed_decimal) return static_cast<int>(static_cast<std::int32_t>(as_word(arg)));
  else if constexpr (C == conversion::unsigned_decimal) return static_cast<unsigned long>(as_word(arg));
  else if constexpr (C == conversion::hex) return static_cast<unsigned>(as_word(arg));
  else if constexpr (C == conversion::character) return static_cast<int>(arg);
  else return static_cast<const char*>(arg);
}

}  // namespace detail

template <format_text F, typename... Args>
inline void print(Args... args) {
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
}

#else

// Always inlined: a trace line is a handful of stores, less than a call costs.
template <format_text F, typename... Args>
[[gnu::always_inline]] inline void print(Args... args) {
  static constexpr auto segments = parse<F>();
  static_assert(argument_count(segments) == sizeof...(Args), "argument count does not match the format");
  if constexpr (has_string(segments)) {
    detail::render_slow<F, segments, 0>(args...);
  } else {
    static_assert(fixed_bound(segments) <= line_reserve, "format too long for one line");
    char* p = cursor();
    if (p > state.limit) {
      flush();
      p = cursor();
    }
    advance_to(detail::render<F, segments, 0>(p, args...));
  }
  if constexpr (F.text[F.length - 1] == '\n') {
    if (state.line_at_once) flush();
  }
}

#endif  // RUVO_PRINTF_OUTPUT

}  // namespace out
