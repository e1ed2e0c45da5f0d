#include "file_names.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

namespace {

bool exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// The entry of `folder` ("" for the working folder) whose name equals `part`
// but for case, the first in byte order when several do (so that the choice
// never depends on the order the file system lists them in); empty when none.
std::string entry_in_any_case(const std::string& folder, const std::string& part) {
  DIR* const listing = opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) return {};
  std::string found;
  while (const dirent* entry = readdir(listing)) {
    const std::string_view candidate = entry->d_name;
    if (strcasecmp(entry->d_name, part.c_str()) == 0 && (found.empty() || candidate < found))
      found = candidate;
  }
  closedir(listing);
  return found;
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

std::string resolve_file_name(const std::string& folder, std::string_view name) {
  const auto joined = [&folder](std::string_view n) {
    return n.starts_with('/') ? std::string(n) : folder + std::string(n);
  };
  const std::string as_written = joined(name);
  if (exists(as_written)) return as_written;
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
