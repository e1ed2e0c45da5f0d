// The text of the lists that name a disc's files, CUE sheets and playlists,
// as the editors of several systems write it.
#pragma once

#include <string>
#include <string_view>

// The text without its byte-order mark, in UTF-8: a text that begins with a
// UTF-16 mark (either byte order) is decoded into `decoded`, with a surrogate
// that lacks its partner as U+FFFD and a stray last byte dropped.
std::string_view readable_text(std::string_view text, std::string& decoded);

// Whether the file name ends in `suffix`, told apart by case or not
// (".cue" for "DISC.CUE").
bool ends_in_any_case(std::string_view name, std::string_view suffix);

// Whether the two are the same text but for the case of ASCII letters.
bool same_in_any_case(std::string_view a, std::string_view b);

// The byte with an ASCII letter in lower case, whatever the locale.
constexpr char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// White space as the C locale has it, without the locale's lookup: the space,
// and the tab to the carriage return.
constexpr bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The next line of the text, which moves past it and its end: LF, CR LF or CR.
std::string_view next_line(std::string_view& text);

// Whether the line holds a byte that no line of a list does: a control byte
// other than the tab, or DEL. A NUL among them would cut a name short.
bool holds_binary(std::string_view line);
