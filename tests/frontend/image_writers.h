// Disc images made at test time, one writer per format, from the layouts the
// readers use (image_layouts.h): a data track of raw Mode 1 sectors, then
// audio tracks, each after a pregap that the image stores.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace image_writers {

struct audio_track {
  std::uint32_t pregap;   // sectors before INDEX 01
  std::uint32_t sectors;  // from INDEX 01 on
};

struct disc_spec {
  std::string data;  // track 1's user data, 2048 bytes a sector
  std::uint32_t data_sectors = 2;
  std::vector<audio_track> audio;
  // Bytes a stored sector: 2352, 2352 + 96 of subchannel, or 2048 (the user
  // data alone, where the format has it).
  std::uint32_t sector_size = 2352;
};

// The 2352 bytes of audio at LBA `lba`, as heard (little-endian): every
// sample tells where it lies.
std::string audio_sector(std::uint32_t lba);
// The CD audio of the audio tracks from INDEX 01 to their ends, in order.
std::string expected_pcm(const disc_spec& disc);

// Each writes the descriptor and the files it names into `folder` and returns
// the descriptor's path. A CUE sheet keeps no subchannel. cdrdao's raw audio is big-endian; NRG `version` is 1
// (NERO footer, CUES, DAOI) or 2 (NER5, CUEX, DAOX).
std::string write_cue(const std::string& folder, const disc_spec& disc);
std::string write_ccd(const std::string& folder, const disc_spec& disc);
std::string write_toc(const std::string& folder, const disc_spec& disc);
std::string write_mds(const std::string& folder, const disc_spec& disc);
std::string write_nrg(const std::string& folder, const disc_spec& disc, int version);

}  // namespace image_writers
