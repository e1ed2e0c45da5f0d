#include "disc_table.h"

#include <unistd.h>

#include <cstdarg>
#include <string>

#include "error.h"

const disc_file* index01_file(const disc_table& table, const disc_track& track) {
  if (track.pieces.empty() || track.pieces.front().file == no_file) return nullptr;
  return &table.files[track.pieces.front().file];
}

std::vector<audio_piece> audio_pieces(const disc_table& table, int first_track) {
  std::vector<audio_piece> pieces;
  for (const disc_track& track : table.tracks)
    if (track.number >= first_track && track.layout == sector_layout::audio)
      for (const track_piece& piece : track.pieces) pieces.push_back({piece, track.sector_size});
  return pieces;
}

void fit_to_files(disc_table& table) {
  for (disc_track& track : table.tracks)
    for (track_piece& piece : track.pieces) {
      if (piece.file == no_file || piece.length != to_file_end) continue;
      const disc_file& file = table.files[piece.file];
      if (file.kind != file_kind::audio_file && file.size != to_file_end)
        piece.length = file.size > piece.offset ? file.size - piece.offset : 0;
    }
}

int check_pieces(disc_table& table) {
  for (const disc_track& track : table.tracks) {
    for (const track_piece& piece : track.pieces) {
      if (piece.file == no_file) continue;
      const disc_file& file = table.files[piece.file];
      if (file.kind == file_kind::audio_file || file.size == to_file_end) continue;
      const bool runs_out = piece.offset > file.size || (piece.length != to_file_end &&
                                                         piece.length > file.size - piece.offset);
      if (runs_out)
        return entry_error(table.path, track.entry,
                           "track %02d lies beyond the end of %s (%llu bytes)", track.number,
                           file.path.c_str(), static_cast<unsigned long long>(file.size));
    }
  }
  fit_to_files(table);
  for (disc_track& track : table.tracks) {
    if (track.layout != sector_layout::audio) continue;
    std::uint64_t length = 0;
    for (const track_piece& piece : track.pieces) length = joined_length(length, piece.length);
    if (length != to_file_end && length % track.sector_size != 0)
      track.pieces.push_back({no_file, 0, track.sector_size - length % track.sector_size});
  }
  return 1;
}

disc_table cue_disc_table(const cue_sheet& sheet) {
  disc_table table;
  table.path = sheet.path;
  const auto& tracks = sheet.tracks;
  for (std::size_t i = 0; i < tracks.size(); ++i) {
    const cue_track& track = tracks[i];
    // A sheet names each file once, so a new path is a new FILE.
    if (table.files.empty() || table.files.back().path != track.path)
      table.files.push_back({track.path, track.kind, track.file_type,
                             "line " + std::to_string(track.file_line), to_file_end});
    disc_track& added = table.tracks.emplace_back();
    added.number = track.number;
    added.layout = track.mode == track_mode::audio        ? sector_layout::audio
                   : track.mode == track_mode::mode1_2048 ? sector_layout::user_data
                   : track.mode == track_mode::other      ? sector_layout::unreadable
                                                          : sector_layout::raw;
    added.mode_name = track.mode_name;
    added.sector_size = track.sector_size;
    added.index00 = track.index00;
    added.entry = "line " + std::to_string(track.line);
    const bool next_in_the_file = i + 1 < tracks.size() && tracks[i + 1].path == track.path;
    std::uint64_t length = to_file_end;
    if (next_in_the_file) {
      const std::uint64_t end = tracks[i + 1].index00.value_or(tracks[i + 1].index01);
      length = end > track.index01 ? end - track.index01 : 0;
    }
    added.pieces.push_back({table.files.size() - 1, track.index01, length});
  }
  return table;
}

namespace {

bool read_descriptor(const void* context, std::uint64_t offset, char* into, std::size_t count) {
  const int descriptor = *static_cast<const int*>(context);
  while (count > 0) {
    const ssize_t got = pread(descriptor, into, count, static_cast<off_t>(offset));
    if (got <= 0) return false;
    into += got;
    offset += static_cast<std::uint64_t>(got);
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

bool read_memory(const void* context, std::uint64_t offset, char* into, std::size_t count) {
  const std::string_view bytes = *static_cast<const std::string_view*>(context);
  bytes.copy(into, count, static_cast<std::size_t>(offset));
  return true;
}

}  // namespace

byte_source descriptor_bytes(const int& descriptor, std::uint64_t size) {
  return {size, read_descriptor, &descriptor};
}

byte_source memory_bytes(const std::string_view& bytes) {
  return {bytes.size(), read_memory, &bytes};
}

bool read_bytes(const byte_source& source, std::uint64_t offset, char* into, std::size_t count) {
  if (offset > source.size || count > source.size - offset) return false;
  return count == 0 || source.read(source.context, offset, into, count);
}

int entry_error(const std::string& descriptor, const std::string& entry, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::string message = message_text(format, args);
  va_end(args);
  return error("%s: %s: %s\n", descriptor.c_str(), entry.c_str(), message.c_str());
}
