// Telling the image formats apart: by what the file begins or ends with,
// and only where that says nothing, by its name.
#include <algorithm>
#include <string>
#include <string_view>

#include "cue_sheet.h"
#include "header_layout.h"
#include "image_layouts.h"
#include "list_text.h"
#include "raw_sector.h"

namespace {

bool starts_in_any_case(std::string_view text, std::string_view prefix) {
  return same_in_any_case(text.substr(0, prefix.size()), prefix);
}

std::string_view skip_blanks(std::string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  return text;
}

// The next word, moving past it.
std::string_view next_word(std::string_view& text) {
  text = skip_blanks(text);
  const auto end = std::find_if(text.begin(), text.end(), is_space);
  const std::string_view word = text.substr(0, static_cast<std::size_t>(end - text.begin()));
  text.remove_prefix(word.size());
  return word;
}

// A TOC file's first statement (after its comments): one only TOC files
// begin with. TRACK and CATALOG open CUE sheets too, but there TRACK is
// followed by a number and CATALOG's number is not quoted.
bool starts_like_toc(std::string_view text) {
  text = skip_blanks(text);
  while (text.starts_with("//")) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos) return false;
    text = skip_blanks(text.substr(end));
  }
  const std::string_view first = next_word(text);
  const auto is = [first](std::string_view keyword) { return same_in_any_case(first, keyword); };
  if (is("CD_DA") || is("CD_ROM") || is("CD_ROM_XA") || is("CD_I") || is("CD_TEXT")) return true;
  if (is("CATALOG")) return skip_blanks(text).starts_with('"');
  if (!is("TRACK")) return false;
  const std::string_view mode = next_word(text);
  return std::any_of(toc::modes.begin(), toc::modes.end(),
                     [mode](const image_mode& m) { return same_in_any_case(mode, m.name); });
}

}  // namespace

disc_format detect_disc_format(std::string_view path, std::string_view head,
                               std::string_view tail) {
  if (head.starts_with(mds::signature)) return disc_format::mds;
  if ((tail.size() >= 12 && tail.substr(tail.size() - 12, 4) == nrg::footer_v2) ||
      (tail.size() >= 8 && tail.substr(tail.size() - 8, 4) == nrg::footer_v1))
    return disc_format::nrg;
  std::string decoded;
  const std::string_view text = readable_text(head, decoded);
  if (starts_in_any_case(skip_blanks(text), "[CloneCD]")) return disc_format::ccd;
  if (starts_like_toc(text)) return disc_format::toc;
  if (is_cue_sheet("", head) || ends_in_any_case(path, ".cue")) return disc_format::cue;
  // A plain or raw image is one whatever its name says.
  if (head.starts_with(saturn_hardware_id) || raw_sector::starts_with_sync(head))
    return disc_format::plain;
  if (ends_in_any_case(path, ".ccd")) return disc_format::ccd;
  if (ends_in_any_case(path, ".toc")) return disc_format::toc;
  if (ends_in_any_case(path, ".mds")) return disc_format::mds;
  if (ends_in_any_case(path, ".nrg")) return disc_format::nrg;
  return disc_format::plain;
}
