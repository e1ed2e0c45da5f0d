// The layouts of the disc-image descriptors that ruvo reads besides CUE
// sheets: where each field lies in an Alcohol MDS and a Nero NRG, what the
// mode names and codes of all four formats stand for. The readers and the
// tests' image writers both take them from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "disc_table.h"

// A mode a descriptor names or codes, and how a track of it is stored.
struct image_mode {
  std::string_view name;  // as written (TOC), or for messages
  unsigned code;          // as coded (MDS, NRG); 0 where the format writes names
  sector_layout layout;
  std::uint32_t sector_size;  // without subchannel
};

// cdrdao TOC: TRACK <mode> [RW | RW_RAW]; either adds subchannel_size to a block.
namespace toc {
inline constexpr std::array<image_mode, 8> modes = {{
    {"AUDIO", 0, sector_layout::audio, 2352},
    {"MODE1", 0, sector_layout::user_data, 2048},
    {"MODE1_RAW", 0, sector_layout::raw, 2352},
    {"MODE2", 0, sector_layout::mode2_xa, 2336},
    {"MODE2_FORM1", 0, sector_layout::user_data, 2048},
    {"MODE2_FORM2", 0, sector_layout::unreadable, 2324},
    {"MODE2_FORM_MIX", 0, sector_layout::mode2_xa, 2336},
    {"MODE2_RAW", 0, sector_layout::raw, 2352},
}};
// A block of audio holds 588 samples of 4 bytes; bare numbers in audio
// statements count samples.
inline constexpr std::uint32_t sample_bytes = 4;
}  // namespace toc

// CloneCD: every sector of the .img is raw, 2352 bytes; the .ccd's [Entry]
// of a track gives its INDEX 01 as PLBA, and the image's byte 0 is LBA 0.
namespace ccd {
inline constexpr std::uint32_t sector_size = 2352;
inline constexpr unsigned data_control = 0x04;  // Control: a data track
inline constexpr unsigned lead_out_point = 0xA2;
}  // namespace ccd

// Alcohol 120% MDS version 1, little-endian. Offsets count from the start of
// the block named.
namespace mds {
inline constexpr std::string_view signature = "MEDIA DESCRIPTOR";
inline constexpr std::size_t header_size = 88;
inline constexpr std::size_t version_major = 16;  // u8, 1
inline constexpr std::size_t version_minor = 17;  // u8
inline constexpr std::size_t session_count = 20;  // u16
inline constexpr std::size_t sessions_offset = 80;  // u32

inline constexpr std::size_t session_size = 24;
inline constexpr std::size_t session_end = 4;          // i32: lead-out LBA
inline constexpr std::size_t session_number = 8;       // u16
inline constexpr std::size_t session_blocks = 10;      // u8: all track blocks, A0-A2 too
inline constexpr std::size_t session_tracks_offset = 20;  // u32

inline constexpr std::size_t track_size = 80;
inline constexpr std::size_t track_mode_code = 0;        // u8, low nibble counts
inline constexpr std::size_t track_point = 4;        // u8: 1-99 a track; A0, A1, A2, ...
inline constexpr std::size_t track_extra_offset = 12;  // u32, 0 = none
inline constexpr std::size_t track_sector_size = 16;   // u16, subchannel included
inline constexpr std::size_t track_start_lba = 36;     // u32: INDEX 01
inline constexpr std::size_t track_start_offset = 40;  // u64: INDEX 01's byte in the file
inline constexpr std::size_t track_file_count = 48;    // u32
inline constexpr std::size_t track_footer_offset = 52;  // u32

inline constexpr std::size_t extra_size = 8;
inline constexpr std::size_t extra_pregap = 0;  // u32, sectors
inline constexpr std::size_t extra_length = 4;  // u32, sectors

inline constexpr std::size_t footer_size = 16;
inline constexpr std::size_t footer_name_offset = 0;  // u32
inline constexpr std::size_t footer_wide = 4;         // u32: 1 = UTF-16LE name
// The file name that means the descriptor's own name with extension mdf.
inline constexpr std::string_view own_name = "*.mdf";

inline constexpr std::array<image_mode, 5> modes = {{
    {"audio", 0x9, sector_layout::audio, 2352},
    {"Mode 1", 0xA, sector_layout::raw, 2352},
    {"Mode 2", 0xB, sector_layout::raw, 2352},
    {"Mode 2 form 1", 0xC, sector_layout::raw, 2352},
    {"Mode 2 form 2", 0xD, sector_layout::raw, 2352},
}};
}  // namespace mds

// Nero NRG, big-endian: the sectors first, then a list of chunks (4-byte ID,
// u32 body length, body) up to END!, found from the footer.
namespace nrg {
inline constexpr std::string_view footer_v1 = "NERO";  // at the end - 8, then a u32 offset
inline constexpr std::string_view footer_v2 = "NER5";  // at the end - 12, then a u64 offset
inline constexpr std::size_t chunk_head = 8;
inline constexpr std::string_view end_chunk = "END!";

// DAOI (v1) and DAOX (v2): a 22-byte head (u32 size, 13-byte catalog number,
// 3 flags, first and last track), then a record per track.
inline constexpr std::size_t dao_head = 22;
inline constexpr std::size_t dao_first_track = 20;  // u8
inline constexpr std::size_t dao_record_v1 = 30;
inline constexpr std::size_t dao_record_v2 = 42;
inline constexpr std::size_t dao_sector_size = 12;  // u16 after the 12-byte ISRC
inline constexpr std::size_t dao_mode = 14;         // u8 mode code
inline constexpr std::size_t dao_offsets = 18;  // index 00, index 01, end: u32 (v1) or u64 (v2)

// ETNF (v1, 20 bytes) and ETN2 (v2, 32 bytes), track at once: offset,
// length, mode code, start LBA, each u32 (v1); offset and length u64 (v2).
inline constexpr std::size_t etn_record_v1 = 20;
inline constexpr std::size_t etn_record_v2 = 32;

inline constexpr std::array<image_mode, 9> modes = {{
    {"Mode 1", 0x00, sector_layout::user_data, 2048},
    {"Mode 2 form 1", 0x02, sector_layout::user_data, 2048},
    {"Mode 2", 0x03, sector_layout::mode2_xa, 2336},
    {"raw Mode 1", 0x05, sector_layout::raw, 2352},
    {"raw Mode 2", 0x06, sector_layout::raw, 2352},
    {"audio", 0x07, sector_layout::audio, 2352},
    {"raw Mode 1 with subchannel", 0x0F, sector_layout::raw, 2352},
    {"audio with subchannel", 0x10, sector_layout::audio, 2352},
    {"raw Mode 2 with subchannel", 0x11, sector_layout::raw, 2352},
}};
}  // namespace nrg

// What a -d file holds, from its first and last bytes, else from its name;
// a file that begins as a plain or raw image does is one (plain), whatever its name.
enum class disc_format { plain, cue, ccd, toc, mds, nrg };
// `head`: the file's first bytes; `tail`: its last 12 (fewer in a shorter file).
disc_format detect_disc_format(std::string_view path, std::string_view head,
                               std::string_view tail);
inline constexpr std::size_t format_tail_size = 12;

// The readers: each fills `table` from the descriptor at `path` and gives 1,
// or 0 after a message naming the descriptor and the entry. They open no
// file; the files they name are resolved against the descriptor's folder.
int read_ccd(const std::string& path, std::string_view text, disc_table& table);
int read_toc(const std::string& path, std::string_view text, disc_table& table);
int read_mds(const std::string& path, const byte_source& mds, disc_table& table);
// The NRG is its own data file: files[0], whose size is the image's.
int read_nrg(const std::string& path, const byte_source& nrg, disc_table& table);
