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
#include <optional>
#include <string>
#include <string_view>

#include "cue_sheet.h"
#include "error.h"
#include "file_names.h"
#include "header_layout.h"
#include "image_layouts.h"
#include "list_text.h"
#include "read_fully.h"

disc_record current_disc;

namespace {

// A CUE sheet lists at most 99 tracks in a few lines each, and a playlist a
// few discs; a file larger than this is neither and is not read into memory.
constexpr std::size_t list_limit = 64 * 1024;
// CloneCD and TOC descriptors take a dozen lines a track and may carry
// CD-TEXT, and an MDS descriptor 80 bytes a track and a DVD's structures, but
// none more than this.
constexpr std::size_t descriptor_limit = 1024 * 1024;

// The largest sector an image stores: 2352 bytes and 96 of subchannel.
constexpr std::size_t largest_sector = raw_sector::size + subchannel_size;

// The process-wide reading position.
struct source_state {
  std::vector<int> owned;  // every descriptor opened here, closed by close_disc_source
  disc_format format = disc_format::plain;
  // -d's descriptor or a playlist's entry, and its first bytes, read to see
  // what it holds: the header's size from a drive or pipe, which may have no
  // more to give for now, a page (a descriptor, mostly) from a regular file. A
  // plain or raw image is read from it, the look-ahead first.
  int stream = -1;
  std::optional<std::uint64_t> stream_size;  // when it is a regular file
  std::array<char, 4096> lookahead{};
  std::size_t lookahead_size = 0;
  std::size_t lookahead_next = 0;
  // An image with a descriptor: the descriptor of each of its table's files,
  // -1 for a CUE sheet's audio file that could not be opened (-m says so).
  // The user data comes from the first track's pieces in them, from the
  // current piece's `piece_at`th byte.
  std::vector<int> files;
  std::vector<track_piece> pieces;
  std::size_t piece = 0;
  std::uint64_t piece_at = 0;
  // How the sectors keep the user data. 2048-byte sectors of it are read as
  // one run of bytes, the others a sector at a time: the current sector,
  // where its user data begins, and how much of that has been delivered (all
  // of it before the first sector is read).
  sector_layout layout = sector_layout::user_data;
  std::uint32_t stride = raw_sector::data_size;
  std::array<char, largest_sector> sector{};
  std::size_t data_offset = 0;
  std::size_t data_next = raw_sector::data_size;
};
source_state source;

// What messages call each format's descriptor, and how much of one is read
// when it is text.
struct descriptor_kind {
  std::string name;
  std::size_t limit;
};
descriptor_kind descriptor_of(disc_format format) {
  switch (format) {
    case disc_format::cue:
      return {"CUE sheet", list_limit};
    case disc_format::ccd:
      return {"CloneCD descriptor", descriptor_limit};
    case disc_format::toc:
      return {"TOC file", descriptor_limit};
    case disc_format::mds:
      return {"MDS descriptor", descriptor_limit};
    case disc_format::nrg:
      return {"NRG image", 0};
    case disc_format::plain:
      break;
  }
  return {"disc image", 0};
}

// The look-ahead first, then the stream.
std::size_t take(void* into, std::size_t size) {
  const std::size_t early = std::min(size, source.lookahead_size - source.lookahead_next);
  std::memcpy(into, source.lookahead.data() + source.lookahead_next, early);
  source.lookahead_next += early;
  if (early == size) return size;
  const ssize_t late = read_fully(source.stream, static_cast<char*>(into) + early, size - early);
  return early + static_cast<std::size_t>(std::max<ssize_t>(late, 0));
}

void look_ahead(int descriptor) {
  source.stream = descriptor;
  struct stat status {};
  source.stream_size.reset();
  if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) && status.st_size >= 0)
    source.stream_size = static_cast<std::uint64_t>(status.st_size);
  source.lookahead_next = 0;
  source.lookahead_size = static_cast<std::size_t>(std::max<ssize_t>(
      read_fully(descriptor, source.lookahead.data(),
                 source.stream_size
                     ? std::min<std::uint64_t>(source.lookahead.size(), *source.stream_size)
                     : header_size),
      0));
}

std::string_view looked_ahead() { return {source.lookahead.data(), source.lookahead_size}; }

// The last bytes of the stream, where a Nero image keeps its footer; none
// for a drive or a pipe.
std::string stream_tail() {
  const std::uint64_t size = source.stream_size.value_or(0);
  std::string tail(std::min<std::uint64_t>(size, format_tail_size), '\0');
  if (!read_bytes(descriptor_bytes(source.stream, size), size - tail.size(), tail.data(),
                  tail.size()))
    return {};
  return tail;
}

// The next `count` bytes of the pieces: the count delivered, less at their
// end or after a read error. `silent` when none of them came from a file.
std::size_t from_pieces(char* into, std::size_t count, bool& silent) {
  silent = true;
  std::size_t done = 0;
  while (done < count && source.piece < source.pieces.size()) {
    const track_piece& piece = source.pieces[source.piece];
    if (source.piece_at == piece.length) {
      ++source.piece;
      source.piece_at = 0;
      continue;
    }
    const auto now = static_cast<std::size_t>(
        std::min<std::uint64_t>(count - done, piece.length - source.piece_at));
    if (piece.file == no_file) {
      std::memset(into + done, 0, now);
    } else {
      silent = false;
      const int& file = source.files[piece.file];
      if (!read_bytes(descriptor_bytes(file, current_disc.table.files[piece.file].size),
                      piece.offset + source.piece_at, into + done, now))
        return done;
    }
    source.piece_at += now;
    done += now;
  }
  return done;
}

std::size_t fetch(char* into, std::size_t count, bool& silent) {
  silent = false;
  return !source.pieces.empty() ? from_pieces(into, count, silent) : take(into, count);
}

// Where the sector just read keeps its user data; nothing for a sector that
// holds none that ruvo reads. Sectors of silence (a cdrdao ZERO) hold zeros.
std::optional<std::size_t> user_data_of(std::string_view sector, bool silent) {
  if (silent || source.layout == sector_layout::user_data) return 0;
  const auto byte = [sector](std::size_t at) { return static_cast<unsigned char>(sector[at]); };
  if (source.layout == sector_layout::mode2_xa) {
    if ((byte(raw_sector::stored_mode2_submode) & raw_sector::form2_bit) != 0) return {};
    return raw_sector::stored_mode2_data;
  }
  if (!raw_sector::starts_with_sync(sector)) return {};
  const std::size_t at =
      raw_sector::data_offset(byte(raw_sector::mode_offset), byte(raw_sector::submode_offset));
  if (at == 0) return {};
  return at;
}

// Reads the next sector; false when there is none or it holds no data.
bool next_sector() {
  bool silent = false;
  if (fetch(source.sector.data(), source.stride, silent) != source.stride) return false;
  const auto at = user_data_of({source.sector.data(), source.stride}, silent);
  if (!at) return false;
  source.data_offset = *at;
  source.data_next = 0;
  return true;
}

// The mode of the first sector, as far as its first bytes `start` show it;
// a sector cut short is left to the read, which fails as any short read does.
// `where` names it in the message.
int check_first_sector(const std::string& where, std::string_view start, sector_layout layout) {
  const bool stored_mode2 = layout == sector_layout::mode2_xa;
  const std::size_t submode_at =
      stored_mode2 ? raw_sector::stored_mode2_submode : raw_sector::submode_offset;
  if (!stored_mode2 && start.size() <= raw_sector::mode_offset) return 1;
  if (stored_mode2 && start.size() <= submode_at) return 1;
  const auto mode = stored_mode2 ? static_cast<unsigned char>(2)
                                 : static_cast<unsigned char>(start[raw_sector::mode_offset]);
  const auto submode = start.size() > submode_at ? static_cast<unsigned char>(start[submode_at])
                                                 : static_cast<unsigned char>(0);
  const char* const image = where.c_str();
  if (raw_sector::data_offset(mode, submode) != 0) return 1;
  if (mode == 0)
    return error("%s: the first sector is a mode 0 sector, which holds no data\n", image);
  if (mode != 2) return error("%s: the first sector has the unknown mode %u\n", image, mode);
  return error(
      "%s: the first sector is a Mode 2 form 2 sector; ruvo reads the data of Mode 1 and "
      "Mode 2 form 1 sectors\n",
      image);
}

// The text of a descriptor or playlist (`what`) from the stream, read whole,
// up to `limit` bytes.
int read_list(const char* path, const std::string& what, std::size_t limit, std::string& text) {
  // A regular file at once, else a piece at a time: a list is mostly a few
  // hundred bytes.
  constexpr std::size_t piece = 16 * 1024;
  text.assign(looked_ahead());
  for (std::size_t wanted = 0; text.size() <= limit && wanted == 0;) {
    const std::size_t known = text.size();
    if (source.stream_size && *source.stream_size <= known) break;
    wanted = source.stream_size ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                      *source.stream_size - known, limit + 1 - known))
                                : std::min(piece, limit + 1 - known);
    text.resize(known + wanted);
    const ssize_t more = read_fully(source.stream, text.data() + known, wanted);
    if (more < 0)
      return error("%s: cannot read the %s: %s\n", path, what.c_str(), std::strerror(errno));
    text.resize(known + static_cast<std::size_t>(more));
    wanted -= static_cast<std::size_t>(more);
  }
  if (text.size() > limit)
    return error("%s: more than %zu bytes, too long for a %s\n", path, limit, what.c_str());
  return 1;
}

// Opens a file that the list `list` (open as list_descriptor) names at
// `entry`; `itself` says what the list naming itself is. Not blocking: a FIFO
// in the file's place is refused, not waited on. The descriptor, or -1 after
// the message; its size goes to `size` where one is given.
int open_listed_file(const std::string& list, int list_descriptor, const std::string& entry,
                     const std::string& file, const std::string& itself,
                     std::uint64_t* size = nullptr) {
  const int descriptor = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) {
    entry_error(list, entry, "cannot open %s: %s", file.c_str(), std::strerror(errno));
    return -1;
  }
  struct stat listed {};
  struct stat list_file {};
  if (fstat(descriptor, &listed) != 0 || !S_ISREG(listed.st_mode)) {
    entry_error(list, entry, "%s is not a regular file", file.c_str());
  } else if (fstat(list_descriptor, &list_file) == 0 && list_file.st_dev == listed.st_dev &&
             list_file.st_ino == listed.st_ino) {
    entry_error(list, entry, "%s is %s", file.c_str(), itself.c_str());
  } else {
    source.owned.push_back(descriptor);
    if (size != nullptr) *size = static_cast<std::uint64_t>(listed.st_size);
    return descriptor;
  }
  close(descriptor);
  return -1;
}

// A CUE sheet's audio file, which only -m needs: -1, without a message, when
// it cannot be opened or is no regular file; playing says so. Its size goes
// to `size`.
int open_audio_track_file(const std::string& file, std::uint64_t& size) {
  const int descriptor = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  if (descriptor >= 0 && fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
    source.owned.push_back(descriptor);
    size = static_cast<std::uint64_t>(status.st_size);
    return descriptor;
  }
  if (descriptor >= 0) close(descriptor);
  return -1;
}

// Reads the descriptor that the stream holds into current_disc's table.
int read_table(const char* path) {
  disc_table& table = current_disc.table;
  const descriptor_kind kind = descriptor_of(source.format);
  // A Nero image is read where its footer says, however large it is.
  if (source.format == disc_format::nrg) {
    if (!source.stream_size)
      return error("%s: not a regular file; ruvo reads an %s from a file\n", path,
                   kind.name.c_str());
    return read_nrg(path, descriptor_bytes(source.stream, *source.stream_size), table);
  }
  std::string text;
  if (read_list(path, kind.name, kind.limit, text) != 1) return 0;
  if (source.format == disc_format::mds) {
    const std::string_view bytes = text;
    return read_mds(path, memory_bytes(bytes), table);
  }
  if (source.format == disc_format::ccd) return read_ccd(path, text, table);
  if (source.format == disc_format::toc) return read_toc(path, text, table);
  cue_sheet sheet;
  if (parse_cue_sheet(path, text, sheet) != 1) return 0;
  table = cue_disc_table(sheet);
  return 1;
}

// Opens the files of the table (whose descriptor is the stream), each once,
// and measures them. A CUE sheet's files other than the first track's are
// audio, which only -m needs, and -m says what is missing.
int open_files(const disc_track& first) {
  disc_table& table = current_disc.table;
  const bool cue = source.format == disc_format::cue;
  const std::string itself =
      "the " + descriptor_of(source.format).name + " itself, not a track file";
  source.files.assign(table.files.size(), -1);
  for (std::size_t i = 0; i < table.files.size(); ++i) {
    disc_file& file = table.files[i];
    // A Nero image holds its sectors itself.
    if (source.format == disc_format::nrg) {
      source.files[i] = source.stream;
      continue;
    }
    // A cdrdao file may hold both data and audio, which are two files of the table.
    const auto same =
        std::find_if(table.files.begin(), table.files.begin() + static_cast<std::ptrdiff_t>(i),
                     [&file](const disc_file& f) { return f.path == file.path; });
    if (same != table.files.begin() + static_cast<std::ptrdiff_t>(i)) {
      const auto earlier = static_cast<std::size_t>(same - table.files.begin());
      source.files[i] = source.files[earlier];
      file.size = same->size;
      continue;
    }
    const bool needed = !cue || (!first.pieces.empty() && first.pieces.front().file == i);
    const int opened = needed ? open_listed_file(table.path, source.stream, file.entry, file.path,
                                                 itself, &file.size)
                              : open_audio_track_file(file.path, file.size);
    if (opened < 0 && needed) return 0;
    source.files[i] = opened;
  }
  return 1;
}

// For an image with a descriptor (the stream): its files opened, the table
// checked against them, and the user data found in the first track.
int open_tracks() {
  disc_table& table = current_disc.table;
  const bool cue = source.format == disc_format::cue;
  const disc_track& first = table.tracks.front();
  if (first.layout == sector_layout::audio)
    return entry_error(table.path, first.entry,
                       "track %02d is an audio track; the first track must hold the data",
                       first.number);
  if (first.layout == sector_layout::unreadable || first.sector_size > largest_sector)
    return entry_error(table.path, first.entry,
                       cue ? "track %02d is %s; ruvo reads MODE1/2048, MODE1/2352 and MODE2/2352 "
                             "data tracks"
                           : "track %02d is %s; ruvo reads Mode 1 and Mode 2 form 1 data tracks",
                       first.number, first.mode_name.c_str());
  const disc_file* const data = index01_file(table, first);
  if (data != nullptr && data->kind != file_kind::binary)
    return entry_error(table.path, data->entry,
                       "file type %s; ruvo reads the data track from a BINARY file",
                       data->type.c_str());
  if (open_files(first) != 1) return 0;
  if (cue)
    fit_to_files(table);
  else if (check_pieces(table) != 1)
    return 0;

  source.layout = first.layout;
  source.stride = first.sector_size;
  source.pieces = first.pieces;
  // A CUE sheet's first track is read on to the end of its file.
  if (cue) {
    track_piece& piece = source.pieces.front();
    piece.length = data->size > piece.offset ? data->size - piece.offset : 0;
  }
  current_disc.kind =
      audio_pieces(table, 2).empty() ? disc_kind::data_image : disc_kind::audio_image;
  // Raw sectors are looked at where they begin; zero data (a cdrdao ZERO) is
  // no sector of the image.
  const track_piece& opening = source.pieces.front();
  if (first.layout == sector_layout::user_data || opening.file == no_file) return 1;
  std::string start(std::min<std::uint64_t>(header_size, opening.length), '\0');
  const disc_file& stored = table.files[opening.file];
  if (!read_bytes(descriptor_bytes(source.files[opening.file], stored.size), opening.offset,
                  start.data(), start.size()))
    start.clear();
  const char* const file = stored.path.c_str();
  if (first.layout == sector_layout::raw && !start.empty() && !raw_sector::starts_with_sync(start))
    return entry_error(table.path, first.entry,
                       "track %02d is %s, but %s holds no raw sector where it begins", first.number,
                       first.mode_name.c_str(), file);
  return check_first_sector(cue ? file : table.path + ": " + first.entry + ": " + file, start,
                            first.layout);
}

// Sees what the stream, looked ahead in as `path`, holds, from its first and
// last bytes, and stands at the start of the disc's user data.
int open_image(const char* path) {
  source.format = detect_disc_format(path, looked_ahead(), stream_tail());
  if (source.format != disc_format::plain)
    return read_table(path) == 1 && open_tracks() == 1 ? 1 : 0;
  if (!raw_sector::starts_with_sync(looked_ahead())) {
    // Only a drive plays a disc's audio by itself; a playlist names images only.
    if (current_disc.playlist_entry.empty() && ioctl(source.stream, CDROM_GET_CAPABILITY, 0) >= 0)
      current_disc.kind = disc_kind::drive;
    return 1;
  }
  source.layout = sector_layout::raw;
  source.stride = raw_sector::size;
  return check_first_sector(path, looked_ahead(), sector_layout::raw);
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
  if (read_list(path, "playlist", list_limit, text) != 1) return 0;
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
    const int image =
        open_listed_file(path, device, "line " + std::to_string(line), current_disc.playlist_entry,
                         "the playlist itself, not a disc image");
    if (image < 0) return 0;
    look_ahead(image);
    if (is_playlist(current_disc.playlist_entry, looked_ahead()))
      return error("%s: line %d: %s is a playlist too; ruvo reads the first disc image of one\n",
                   path, line, current_disc.playlist_entry.c_str());
    return open_image(current_disc.playlist_entry.c_str());
  }
  return error("%s: the playlist names no disc image\n", path);
}

}  // namespace

int open_disc_source(int device, const char* path) {
  close_disc_source();
  current_disc = {};
  source = {};
  look_ahead(device);
  const int opened =
      is_playlist(path, looked_ahead()) ? open_playlist(device, path) : open_image(path);
  if (opened != 1) close_disc_source();
  return opened;
}

std::size_t read_disc(char* into, std::size_t size) {
  bool silent = false;
  if (source.layout == sector_layout::user_data && source.stride == raw_sector::data_size)
    return fetch(into, size, silent);
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

std::vector<pcm_span> disc_audio() {
  std::vector<pcm_span> spans;
  const disc_table& table = current_disc.table;
  for (const audio_piece& audio : audio_pieces(table, 2)) {
    pcm_span& span = spans.emplace_back();
    span.offset = audio.piece.offset;
    span.length = audio.piece.length;
    span.stride = audio.sector_size;
    if (audio.piece.file == no_file) continue;
    const disc_file& file = table.files[audio.piece.file];
    span.file = source.files[audio.piece.file];
    span.path = file.path;
    span.kind = file.kind;
    span.file_type = file.type;
  }
  return spans;
}

int refuse_audio(const char* device) {
  if (!current_disc.table.tracks.empty())
    return error("Sorry, CD Music cannot be played: %s has no audio tracks after track 1.\n",
                 current_disc.table.path.c_str());
  const std::string& entry = current_disc.playlist_entry;
  // Without a table, a raw image is the one plain image read as sectors.
  if (source.layout == sector_layout::raw || !entry.empty())
    return error("Sorry, CD Music cannot be played from the disc image %s.\n",
                 entry.empty() ? device : entry.c_str());
  return error("Sorry, CD Music cannot be played.\n");
}

void close_disc_source() {
  for (const int descriptor : source.owned) close(descriptor);
  source.owned.clear();
  source.files.clear();
  source.pieces.clear();
}
