#include "disc_source.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "cue_sheet.h"
#include "error.h"
#include "file_names.h"
#include "header_layout.h"
#include "list_text.h"
#include "raw_sector.h"
#include "read_fully.h"

disc_record current_disc;

namespace {

// A CUE sheet lists at most 99 tracks in a few lines each, and a playlist a
// few discs; a file larger than this is neither and is not read into memory.
constexpr std::size_t list_limit = 64 * 1024;

// The process-wide reading position.
struct source_state {
  int descriptor = -1;  // -d's, or the file of a CUE sheet's first track
  bool raw = false;     // raw sectors, whose user data is taken out of them
  // The first bytes, read to see what the descriptor holds; delivered first.
  std::array<char, header_size> lookahead{};
  std::size_t lookahead_size = 0;
  std::size_t lookahead_next = 0;
  // Raw images: the current sector, where its user data begins, and how much
  // of that has been delivered (all of it before the first sector is read).
  std::array<unsigned char, raw_sector::size> sector{};
  std::size_t data_offset = 0;
  std::size_t data_next = raw_sector::data_size;
};
source_state source;

// The look-ahead first, then the descriptor.
std::size_t take(void* into, std::size_t size) {
  const std::size_t early = std::min(size, source.lookahead_size - source.lookahead_next);
  std::memcpy(into, source.lookahead.data() + source.lookahead_next, early);
  source.lookahead_next += early;
  if (early == size) return size;
  const ssize_t late =
      read_fully(source.descriptor, static_cast<char*>(into) + early, size - early);
  return early + static_cast<std::size_t>(std::max<ssize_t>(late, 0));
}

void look_ahead(int descriptor) {
  source = {};
  source.descriptor = descriptor;
  source.lookahead_size = static_cast<std::size_t>(std::max<ssize_t>(
      read_fully(descriptor, source.lookahead.data(), source.lookahead.size()), 0));
}

std::string_view looked_ahead() { return {source.lookahead.data(), source.lookahead_size}; }

bool starts_with_sync(std::string_view bytes) {
  return bytes.size() >= raw_sector::sync.size() &&
         std::equal(raw_sector::sync.begin(), raw_sector::sync.end(), bytes.begin(),
                    [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
}

// The mode of the first raw sector, as far as the look-ahead shows it; a
// sector cut short is left to the read, which fails as any short read does.
int check_first_sector(const char* image) {
  const std::string_view start = looked_ahead();
  if (start.size() <= raw_sector::mode_offset) return 1;
  const auto mode = static_cast<unsigned char>(start[raw_sector::mode_offset]);
  const auto submode = start.size() > raw_sector::submode_offset
                           ? static_cast<unsigned char>(start[raw_sector::submode_offset])
                           : static_cast<unsigned char>(0);
  if (raw_sector::data_offset(mode, submode) != 0) return 1;
  if (mode == 0)
    return error("%s: the first sector is a mode 0 sector, which holds no data\n", image);
  if (mode != 2) return error("%s: the first sector has the unknown mode %u\n", image, mode);
  return error(
      "%s: the first sector is a Mode 2 form 2 sector; ruvo reads the data of Mode 1 and "
      "Mode 2 form 1 sectors\n",
      image);
}

// Reads the next raw sector; false when there is none or it holds no data.
bool next_sector() {
  if (take(source.sector.data(), source.sector.size()) != source.sector.size()) return false;
  const std::string_view bytes(reinterpret_cast<const char*>(source.sector.data()),
                               source.sector.size());
  if (!starts_with_sync(bytes)) return false;
  source.data_offset = raw_sector::data_offset(source.sector[raw_sector::mode_offset],
                                               source.sector[raw_sector::submode_offset]);
  if (source.data_offset == 0) return false;
  source.data_next = 0;
  return true;
}

// The text of a CUE sheet or playlist (`what`), read whole, up to the size limit.
int read_list(const char* path, const char* what, std::string& text) {
  text.assign(looked_ahead());
  const std::size_t known = text.size();
  text.resize(list_limit + 1);
  const ssize_t more = read_fully(source.descriptor, text.data() + known, text.size() - known);
  if (more < 0) return error("%s: cannot read the %s: %s\n", path, what, std::strerror(errno));
  text.resize(known + static_cast<std::size_t>(more));
  if (text.size() > list_limit)
    return error("%s: more than %zu bytes, too long for a %s\n", path, list_limit, what);
  return 1;
}

// Opens a file that the list `list` (open as list_descriptor) names on `line`;
// `itself` says what the list naming itself is. Not blocking: a FIFO in the
// file's place is refused, not waited on. The descriptor, or -1 after the message.
int open_listed_file(const char* list, int list_descriptor, int line, const char* file,
                     const char* itself) {
  const int descriptor = open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    error("%s: line %d: cannot open %s: %s\n", list, line, file, std::strerror(errno));
    return -1;
  }
  struct stat listed {};
  struct stat list_file {};
  if (fstat(descriptor, &listed) != 0 || !S_ISREG(listed.st_mode)) {
    error("%s: line %d: %s is not a regular file\n", list, line, file);
  } else if (fstat(list_descriptor, &list_file) == 0 && list_file.st_dev == listed.st_dev &&
             list_file.st_ino == listed.st_ino) {
    error("%s: line %d: %s is %s\n", list, line, file, itself);
  } else {
    return descriptor;
  }
  close(descriptor);
  return -1;
}

// Opens the first track's file in place of the sheet and stands at its INDEX 01.
int open_first_track(int sheet_descriptor) {
  const cue_track& track = current_disc.sheet.tracks.front();
  const char* const sheet = current_disc.sheet.path.c_str();
  const char* const file = track.path.c_str();
  if (track.mode == track_mode::audio)
    return error("%s: line %d: track %02d is an audio track; the first track must hold the data\n",
                 sheet, track.line, track.number);
  if (track.mode == track_mode::other)
    return error(
        "%s: line %d: track %02d is %s; ruvo reads MODE1/2048, MODE1/2352 and MODE2/2352 data "
        "tracks\n",
        sheet, track.line, track.number, track.mode_name.c_str());
  if (track.kind != file_kind::binary)
    return error("%s: line %d: file type %s; ruvo reads the data track from a BINARY file\n", sheet,
                 track.file_line, track.file_type.c_str());
  const int descriptor = open_listed_file(sheet, sheet_descriptor, track.file_line, file,
                                          "the CUE sheet itself, not a track file");
  if (descriptor < 0) return 0;
  if (lseek(descriptor, static_cast<off_t>(track.index01), SEEK_SET) < 0)
    return error("%s: line %d: cannot read %s: %s\n", sheet, track.file_line, file,
                 std::strerror(errno));
  look_ahead(descriptor);
  if (track.mode == track_mode::mode1_2048) return 1;
  if (source.lookahead_size > 0 && !starts_with_sync(looked_ahead()))
    return error("%s: line %d: track %02d is %s, but %s holds no raw sector where it begins\n",
                 sheet, track.line, track.number, track.mode_name.c_str(), file);
  source.raw = true;
  return check_first_sector(file);
}

// Sees what the open descriptor of `path` holds, from its first bytes, and
// stands at the start of the disc's user data.
int open_image(int device, const char* path) {
  if (is_cue_sheet(path, looked_ahead())) {
    std::string text;
    if (read_list(path, "CUE sheet", text) != 1) return 0;
    if (parse_cue_sheet(path, text, current_disc.sheet) != 1) return 0;
    current_disc.kind = disc_kind::cue_sheet;
    return open_first_track(device);
  }
  if (!starts_with_sync(looked_ahead())) return 1;
  current_disc.kind = disc_kind::raw_image;
  source.raw = true;
  return check_first_sector(path);
}

// A playlist of a multi-disc set, one disc image a line: known by its name,
// or by the first line of an extended playlist.
bool is_playlist(std::string_view path, std::string_view start) {
  std::string decoded;
  start = readable_text(start, decoded);
  return ends_in_any_case(path, ".m3u") || ends_in_any_case(path, ".m3u8") ||
         start.starts_with("#EXTM3U");
}

// Reads the playlist at `path` and opens its first entry, the first line that
// is neither blank nor a "#" comment, taken relative to the playlist's folder.
// Lines up to it that hold binary data are refused, as in a sheet.
int open_playlist(int device, const char* path) {
  std::string text;
  if (read_list(path, "playlist", text) != 1) return 0;
  std::string decoded;
  std::string_view rest = readable_text(text, decoded);
  for (int line = 1; !rest.empty(); ++line) {
    std::string_view entry = next_line(rest);
    if (holds_binary(entry)) return error("%s: line %d: binary data, not a playlist\n", path, line);
    while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.remove_suffix(1);
    while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
      entry.remove_prefix(1);
    if (entry.empty() || entry.front() == '#') continue;
    current_disc.playlist_entry = resolve_file_name(folder_of(path), entry);
    const int image = open_listed_file(path, device, line, current_disc.playlist_entry.c_str(),
                                       "the playlist itself, not a disc image");
    if (image < 0) return 0;
    look_ahead(image);
    if (is_playlist(current_disc.playlist_entry, looked_ahead()))
      return error("%s: line %d: %s is a playlist too; ruvo reads the first disc image of one\n",
                   path, line, current_disc.playlist_entry.c_str());
    return open_image(image, current_disc.playlist_entry.c_str());
  }
  return error("%s: the playlist names no disc image\n", path);
}

}  // namespace

int open_disc_source(int device, const char* path) {
  current_disc = {};
  look_ahead(device);
  if (is_playlist(path, looked_ahead())) return open_playlist(device, path);
  return open_image(device, path);
}

std::size_t read_disc(char* into, std::size_t size) {
  if (!source.raw) return take(into, size);
  std::size_t delivered = 0;
  while (delivered < size) {
    if (source.data_next == raw_sector::data_size && !next_sector()) break;
    const std::size_t now = std::min(size - delivered, raw_sector::data_size - source.data_next);
    std::memcpy(into + delivered, source.sector.data() + source.data_offset + source.data_next,
                now);
    source.data_next += now;
    delivered += now;
  }
  return delivered;
}

bool is_cd_drive(int device) { return ioctl(device, CDROM_GET_CAPABILITY, 0) >= 0; }
