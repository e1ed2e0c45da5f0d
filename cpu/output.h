// The one path by which cputest writes anything.
//
// Every caller hands over a printf-style format text as a template argument:
//
//     out::print<"ADD R%d, R%d\n">(m, n);
//
// The format is taken apart at compile time, so a trace line costs a few
// stores into a large buffer and no format parsing. The buffer goes out in big
// writes: when it fills, at flush() and at finish(). When standard output is a
// terminal every completed line is written at once; when it is a regular file
// or a pipe, and the process may run on two CPUs, the lines are passed to a
// writer thread that writes them while the trace goes on (see output.cpp).
// This path renders, buffers and writes; what a run does about a break or a
// failed write is its caller's (cputest/main.cpp). A write that fails for
// good, in either thread, stops the output and is reported, and so is a stop
// that the caller asks for (from its break handler) once the lines complete by
// then have gone out: through the function given to start(), and by the
// errno that finish() returns. The caller then ends the run.
// The conversions understood are those of format.h.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "format.h"

namespace out {

// ---------------------------------------------------------------------------
// The buffer

// Bytes gathered for each write (to a regular file or a pipe, see
// output.cpp).
inline constexpr std::size_t buffer_size = 256 * 1024;
// Room always kept free past the limit, so that one fixed-format line can be
// rendered with a single check for space.
inline constexpr std::size_t line_reserve = 512;

struct buffer_state {
  char* cursor;  // next free byte
  char* limit;   // flushed as soon as the cursor passes this
  // Each line goes out as it ends: standard output is a terminal, or a stop
  // has been asked for. Set from a signal handler too, hence its type.
  volatile std::sig_atomic_t line_at_once;
};
extern buffer_state state;

[[gnu::always_inline]] inline char* cursor() { return state.cursor; }
[[gnu::always_inline]] inline void advance_to(char* end) { state.cursor = end; }

// Set by stop_at_line_end().
extern volatile std::sig_atomic_t stop_asked;

// Asks for the output to stop at the next line end: the lines complete by
// then go out, nothing after them, and the stop is reported (see start).
// Safe in a signal handler. Each line then goes out at once, as to a
// terminal, so the next line end calls flush(), which takes the stop: a trace
// line checks nothing more than it does for a terminal.
inline void stop_at_line_end() {
  stop_asked = 1;
  state.line_at_once = 1;
}

// Writes out what is buffered. To standard output only whole lines go out: a
// partial last line stays at the start of the buffer until it is complete or
// the run finishes, so that nothing written ever ends inside a line. Into a
// capture everything goes. Once the output has stopped, what is buffered is
// dropped.
void flush();
// Sends all later output to sink(target, bytes, size) at each flush instead
// of to standard output; a null sink returns to standard output.
using capture_sink = void (*)(void* target, const char* bytes, std::size_t size);
void capture_into(void* target, capture_sink sink);
// The same into a string. Defined here, so that only the programs that
// capture (tests, benchmarks) use the string library: cputest then starts
// without loading the C++ runtime.
inline void capture_into(std::string* text) {
  if (text == nullptr) return capture_into(nullptr, nullptr);
  capture_into(text, [](void* target, const char* bytes, std::size_t size) {
    static_cast<std::string*>(target)->append(bytes, size);
  });
}
// Drops everything buffered and not yet written.
void discard();
// Decides, once, whether each line goes out at once (terminal) or in big
// writes. `on_stop` is called once, on the tracing thread, when the output
// stops for good: a write failed, or a stop was asked for and the lines
// complete by then have gone out. Nothing is written after it. Returns the
// errno of a standard output that cannot be written (closed), or 0.
int start(void (*on_stop)());
// The end of a run: writes everything still buffered after what went out
// before, the last line even if it is partial (whole lines only once a stop
// has been asked for). Returns the errno of the write that failed, now or
// before, or 0.
int finish();
// Appends bytes of any length (the %s path).
void append(const char* bytes, std::size_t size);

// ---------------------------------------------------------------------------
// Rendering
//
// Numbers are rendered without branches that depend on their value: a trace
// of real code prints register numbers of one and two digits, immediates of
// one, two and eight hexadecimal digits, in no order a predictor could learn.
// Each piece stores a whole word and advances the cursor by the digits it
// needs; the bytes past them lie in the line's room and are overwritten by
// whatever follows.

namespace detail {

static_assert(std::endian::native == std::endian::little,
              "the digit rendering stores whole words in memory order");

template <typename T>
constexpr std::uint32_t as_word(T v) {
  static_assert(std::is_integral_v<T>, "numbers only");
  return static_cast<std::uint32_t>(v);
}

// The two hexadecimal digits of every byte value, in memory order.
inline constexpr auto hex_pairs = [] {
  constexpr char digits[] = "0123456789ABCDEF";
  std::array<std::uint16_t, 256> pairs{};
  for (unsigned b = 0; b < 256; ++b)
    pairs[b] = static_cast<std::uint16_t>(digits[b >> 4] | digits[b & 0xF] << 8);
  return pairs;
}();

inline void put_pair(char* p, std::uint16_t chars) { std::memcpy(p, &chars, 2); }

// Eight hexadecimal digits of v as one word whose bytes, stored in memory
// order, read most significant digit first.
inline std::uint64_t hex_chars(std::uint32_t v) {
  return std::uint64_t{hex_pairs[v >> 24]} | std::uint64_t{hex_pairs[(v >> 16) & 0xFF]} << 16 |
         std::uint64_t{hex_pairs[(v >> 8) & 0xFF]} << 32 | std::uint64_t{hex_pairs[v & 0xFF]} << 48;
}

template <unsigned Width>
inline char* put_hex(char* p, std::uint32_t v) {
  if constexpr (Width == 8) {
    put_pair(p, hex_pairs[v >> 24]);
    put_pair(p + 2, hex_pairs[(v >> 16) & 0xFF]);
    put_pair(p + 4, hex_pairs[(v >> 8) & 0xFF]);
    put_pair(p + 6, hex_pairs[v & 0xFF]);
    return p + 8;
  } else {
    // As many digits as the value needs, at least one and at least Width.
    // Leading zeros are the low bytes in memory order: shift them out.
    const auto needed = static_cast<unsigned>(std::bit_width(v | 1) + 3) / 4;
    const unsigned digits = Width > 1 ? std::max(needed, Width) : needed;
    const std::uint64_t kept = hex_chars(v) >> (8 * (8 - digits));
    std::memcpy(p, &kept, 8);
    return p + digits;
  }
}

// A 16-bit value, as instruction words are: four digits fill %04X exactly.
template <unsigned Width>
inline char* put_hex(char* p, std::uint16_t v) {
  if constexpr (Width == 4) {
    put_pair(p, hex_pairs[v >> 8]);
    put_pair(p + 2, hex_pairs[v & 0xFF]);
    return p + 4;
  } else {
    return put_hex<Width>(p, std::uint32_t{v});
  }
}

// An 8-bit value, as immediates are: one or two digits.
template <unsigned Width>
inline char* put_hex(char* p, std::uint8_t v) {
  if constexpr (Width <= 1) {
    const bool two = v >= 0x10;
    put_pair(p, static_cast<std::uint16_t>(hex_pairs[v] >> (two ? 0 : 8)));
    return p + 1 + two;
  } else {
    return put_hex<Width>(p, std::uint32_t{v});
  }
}

// A signed 8-bit value, as branch displacements are, printed as the 32-bit
// word it extends to: one or two digits, or eight beginning with FFFFFF.
template <unsigned Width>
inline char* put_hex(char* p, std::int8_t v) {
  if constexpr (Width <= 1) {
    const auto byte = static_cast<std::uint8_t>(v);
    const unsigned digits = v < 0 ? 8 : 1 + (byte >= 0x10);
    // "FFFFFF" and the byte's two digits.
    const std::uint64_t chars = 0x464646464646u | std::uint64_t{hex_pairs[byte]} << 48;
    const std::uint64_t kept = chars >> (8 * (8 - digits));
    std::memcpy(p, &kept, 8);
    return p + digits;
  } else {
    return put_hex<Width>(p, as_word(v));
  }
}

// The decimal digits of 0 to 255 in the low bytes, in memory order, and their
// count in the top byte.
inline constexpr auto small_decimals = [] {
  std::array<std::uint32_t, 256> entries{};
  for (std::uint32_t v = 0; v < 256; ++v) {
    const std::uint32_t digits = v < 10 ? 1 : v < 100 ? 2 : 3;
    std::uint32_t entry = digits << 24;
    for (std::uint32_t i = 0, rest = v; i < digits; ++i, rest /= 10)
      entry |= ('0' + rest % 10) << (8 * (digits - 1 - i));
    entries[v] = entry;
  }
  return entries;
}();

[[gnu::noinline]] inline char* put_long_unsigned(char* p, std::uint32_t v) {
  char digits[10];
  unsigned n = 0;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

// Register numbers, immediates and short displacements: one lookup, one
// store and no branch on the value.
inline char* put_unsigned(char* p, std::uint32_t v) {
  if (v >= 256) [[unlikely]]
    return put_long_unsigned(p, v);
  const std::uint32_t entry = small_decimals[v];
  std::memcpy(p, &entry, 4);
  return p + (entry >> 24);
}

inline char* put_signed(char* p, std::int32_t v) {
  const bool negative = v < 0;
  *p = '-';
  const std::uint32_t magnitude =
      negative ? 0u - static_cast<std::uint32_t>(v) : static_cast<std::uint32_t>(v);
  return put_unsigned(p + negative, magnitude);
}

template <segment S, typename Arg>
inline char* put_conversion(char* p, Arg arg) {
  if constexpr (S.kind == conversion::signed_decimal) {
    return put_signed(p, static_cast<std::int32_t>(as_word(arg)));
  } else if constexpr (S.kind == conversion::unsigned_decimal) {
    return put_unsigned(p, as_word(arg));
  } else if constexpr (S.kind == conversion::hex &&
                       (std::is_same_v<Arg, std::uint16_t> || std::is_same_v<Arg, std::uint8_t> ||
                        std::is_same_v<Arg, std::int8_t>)) {
    return put_hex<S.width>(p, arg);
  } else if constexpr (S.kind == conversion::hex) {
    return put_hex<S.width>(p, as_word(arg));
  } else {
    static_assert(S.kind == conversion::character, "%s is written by the string path");
    *p = static_cast<char>(arg);
    return p + 1;
  }
}

// The most bytes a conversion stores past its own digits.
inline constexpr std::size_t overshoot = 8;

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
    char piece[16 + overshoot];
    append(piece, static_cast<std::size_t>(put_conversion<Segments[I]>(piece, arg) - piece));
  }
  render_slow<F, Segments, I + 1>(rest...);
}

}  // namespace detail

// Always inlined: a trace line is a handful of stores, less than a call costs.
// The cursor is never past the limit between prints, so the room behind it
// holds any one line, and the check for room comes after rendering, when
// nothing is left to do but the flush.
template <format_text F, typename... Args>
[[gnu::always_inline]] inline void print(Args... args) {
  static constexpr auto segments = parse<F>();
  static_assert(argument_count(segments) == sizeof...(Args),
                "argument count does not match the format");
  constexpr bool ends_line = F.text[F.length - 1] == '\n';
  char* end;
  if constexpr (has_string(segments)) {
    detail::render_slow<F, segments, 0>(args...);
    end = cursor();
  } else {
    static_assert(fixed_bound(segments) + detail::overshoot <= line_reserve,
                  "format too long for one line");
    end = detail::render<F, segments, 0>(cursor(), args...);
    advance_to(end);
  }
  if (end > state.limit || (ends_line && state.line_at_once != 0)) flush();
}

}  // namespace out
