#include "file_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

#include "breaks.h"
#include "list_text.h"

namespace {

bool exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// The name as case-insensitive matching sees it: ASCII letters in lower case,
// every other byte as it is.
std::string folded(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = ascii_lower(c);
  return lower;
}

// A folder's entries by their folded names: for each, the first in byte
// order when several fold alike (so that the choice never depends on the
// order the file system lists them in).
using folder_entries = std::unordered_map<std::string, std::string>;

// Every folder read so far, by its device and inode: a sheet may name
// thousands of files that do not exist as written, and a folder may hold
// a hundred thousand entries, so each is read once a run.
std::map<std::pair<dev_t, ino_t>, folder_entries> folders_read;

// The entries of `folder` ("" for the working folder); null when it cannot
// be read, or when a break stopped the reading (nothing is kept then).
const folder_entries* entries_of(const std::string& folder) {
  const char* const path = folder.empty() ? "." : folder.c_str();
  struct stat info {};
  if (stat(path, &info) != 0) return nullptr;
  const std::pair<dev_t, ino_t> key{info.st_dev, info.st_ino};
  if (const auto known = folders_read.find(key); known != folders_read.end()) return &known->second;
  DIR* const listing = opendir(path);
  if (listing == nullptr) return nullptr;
  folder_entries entries;
  while (const dirent* entry = readdir(listing)) {
    if (break_caught()) break;
    const std::string_view name = entry->d_name;
    const auto [at, added] = entries.try_emplace(folded(name), name);
    if (!added && name < at->second) at->second = name;
  }
  closedir(listing);
  if (break_caught()) return nullptr;
  return &folders_read.emplace(key, std::move(entries)).first->second;
}

// The entry of `folder` whose name equals `part` but for case; empty when none.
std::string entry_in_any_case(const std::string& folder, const std::string& part) {
  const folder_entries* const entries = entries_of(folder);
  if (entries == nullptr) return {};
  const auto match = entries->find(folded(part));
  return match == entries->end() ? std::string() : match->second;
}

// Walks the name part by part from `base`, taking each part as written where
// it exists and in any case where it does not; empty when a part has no match.
std::string in_any_case(std::string base, std::string_view name) {
  while (!name.empty()) {
    const auto slash = name.find('/');
    const std::string part(name.substr(0, slash));
    name.remove_prefix(slash == std::string_view::npos ? name.size() : slash + 1);
    if (part.empty() || part == "." || part == "..") {
      base += part.empty() ? "" : part + "/";
      continue;
    }
    const std::string match = exists(base + part) ? part : entry_in_any_case(base, part);
    if (match.empty()) return {};
    base += match;
    if (!name.empty()) base += '/';
  }
  return base;
}

}  // namespace

const std::string& resolve_once(std::map<std::string, std::string>& resolved,
                                const std::string& folder, const std::string& name) {
  auto [named, added] = resolved.try_emplace(name);
  if (added) named->second = resolve_file_name(folder, name);
  return named->second;
}

std::string resolve_file_name(const std::string& folder, std::string_view name) {
  const auto joined = [&folder](std::string_view n) {
    return n.starts_with('/') ? std::string(n) : folder + std::string(n);
  };
  const std::string as_written = joined(name);
  // After a break the name is not looked for: the run is ending.
  if (break_caught() || exists(as_written)) return as_written;
  std::string slashed(name);
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  if (const std::string with_slashes = joined(slashed); exists(with_slashes)) return with_slashes;
  const std::string found = in_any_case(slashed.starts_with('/') ? "/" : folder, slashed);
  return found.empty() ? as_written : found;
}

std::string folder_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
