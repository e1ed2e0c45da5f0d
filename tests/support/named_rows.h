// Rows of table-driven tests carry a `name`: it names each test of the table
// (INSTANTIATE_TEST_SUITE_P(..., row_name)), and a failure shows it instead of
// dumping the row's bytes.
#pragma once

#include <ostream>
#include <string>

// The rows live in each test file's unnamed namespace, and that is where
// GoogleTest's argument-dependent lookup looks for a printer.
namespace {

template <class row>
concept named_row = requires(const row& r) {
  std::string(r.name);
};

template <named_row row>
void PrintTo(const row& r, std::ostream* os) {
  *os << r.name;
}

constexpr auto row_name = [](const auto& info) { return std::string(info.param.name); };

}  // namespace
