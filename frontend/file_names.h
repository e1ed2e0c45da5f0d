// The names that CUE sheets and playlists give for their files. Such lists
// travel between systems: one written on Windows separates folders with "\",
// and one written where case does not matter may name DISC.BIN for disc.bin.
#pragma once

#include <map>
#include <string>
#include <string_view>

// `name` taken relative to `folder` (empty, or ending in "/"; an absolute name
// stands alone), as the file system has it: as written when that exists, else
// with every "\" taken as "/", and where still nothing is found, each part of
// the name matched without regard to case among the entries of its folder
// (each folder is read once a run, and a break stops the reading). When
// nothing matches, or after a break, the name as written, so that the failure
// to open it names what the list says.
std::string resolve_file_name(const std::string& folder, std::string_view name);

// The same, looked for once however many times one list names it: `resolved`
// holds the list's names so far.
const std::string& resolve_once(std::map<std::string, std::string>& resolved,
                                const std::string& folder, const std::string& name);

// The folder of `path` with its final "/", or empty for a name without one.
std::string folder_of(const std::string& path);
