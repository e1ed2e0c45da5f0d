#include "list_text.h"

#include <algorithm>
#include <cstdint>

namespace {

void put_utf8(std::string& into, std::uint32_t code) {
  const auto byte = [&into](std::uint32_t b) { into += static_cast<char>(b); };
  if (code < 0x80) {
    byte(code);
  } else if (code < 0x800) {
    byte(0xC0 | code >> 6);
    byte(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    byte(0xE0 | code >> 12);
    byte(0x80 | (code >> 6 & 0x3F));
    byte(0x80 | (code & 0x3F));
  } else {
    byte(0xF0 | code >> 18);
    byte(0x80 | (code >> 12 & 0x3F));
    byte(0x80 | (code >> 6 & 0x3F));
    byte(0x80 | (code & 0x3F));
  }
}

// UTF-16 (either byte order, told by the byte-order mark) into UTF-8, without
// the mark; false, with nothing done, for text without one.
bool from_utf16(std::string_view text, std::string& utf8) {
  if (text.size() < 2) return false;
  const auto first = static_cast<unsigned char>(text[0]),
             second = static_cast<unsigned char>(text[1]);
  const bool little = first == 0xFF && second == 0xFE, big = first == 0xFE && second == 0xFF;
  if (!little && !big) return false;
  const auto unit = [text, little](std::size_t at) {
    const auto low = static_cast<unsigned char>(text[at + (little ? 0 : 1)]);
    const auto high = static_cast<unsigned char>(text[at + (little ? 1 : 0)]);
    return static_cast<std::uint32_t>(high << 8 | low);
  };
  utf8.clear();
  for (std::size_t at = 2; at + 1 < text.size(); at += 2) {
    std::uint32_t code = unit(at);
    if (code >= 0xD800 && code < 0xDC00 && at + 3 < text.size() && unit(at + 2) >= 0xDC00 &&
        unit(at + 2) < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (unit(at + 2) - 0xDC00);
      at += 2;
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    put_utf8(utf8, code);
  }
  return true;
}

}  // namespace

std::string_view readable_text(std::string_view text, std::string& decoded) {
  if (from_utf16(text, decoded)) text = decoded;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return text;
}

bool ends_in_any_case(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() &&
         same_in_any_case(name.substr(name.size() - suffix.size()), suffix);
}

bool same_in_any_case(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return ascii_lower(x) == ascii_lower(y); });
}

std::string_view next_line(std::string_view& text) {
  // Not find_first_of, which looks each byte up in the set of two.
  const auto at =
      std::find_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; });
  const auto end =
      at == text.end() ? std::string_view::npos : static_cast<std::size_t>(at - text.begin());
  const std::string_view line = text.substr(0, end);
  std::size_t after = end == std::string_view::npos ? text.size() : end + 1;
  if (end != std::string_view::npos && text[end] == '\r' && after < text.size() &&
      text[after] == '\n')
    ++after;
  text.remove_prefix(after);
  return line;
}

bool holds_binary(std::string_view line) {
  return std::any_of(line.begin(), line.end(), [](char c) {
    return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
  });
}
