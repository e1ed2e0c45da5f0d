#include "disc_text.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::array<const char*, 12> month_names = {
    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec",
};

}  // namespace

std::string_view fmttitle(const char* text, std::size_t room) {
  std::size_t end = 0;
  while (end < room && text[end] != '\0') ++end;
  while (end > 0 && text[end - 1] == ' ') --end;
  return {text, end};
}

const char* strnchr(const char* start, int c, int n) {
  for (int i = 0; i < n; ++i)
    if (start[i] == static_cast<char>(c)) return start + i;
  return nullptr;
}

std::string strdate(const char* date) {
  char year[5] = {}, month[3] = {}, day[3] = {};
  std::memcpy(year, date, 4);
  std::memcpy(month, date + 4, 2);
  std::memcpy(day, date + 6, 2);
  const long month_number = std::strtol(month, nullptr, 10);
  const char* const month_name = month_number >= 1 && month_number <= 12
                                     ? month_names[static_cast<std::size_t>(month_number - 1)]
                                     : "???";
  char text[32];
  std::snprintf(text, sizeof text, "%s %ld, %ld", month_name, std::strtol(day, nullptr, 10),
                std::strtol(year, nullptr, 10));
  return text;
}
