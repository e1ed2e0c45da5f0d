// The table of the implemented instructions, assembled from the rows that the
// instruction groups list beside their handlers, and the decode table that
// the compiler derives from it. The patterns are disjoint, so the order never
// changes a decoding.
#include "branches.h"
#include "data_processing.h"
#include "decoder.h"
#include "divide_multiply.h"
#include "output.h"
#include "system_loads.h"

namespace {

// The next count rows of one group's list.
struct run {
  std::span<const opcode_row> group;
  std::size_t count;
};

// The table's documented order interleaves the groups. Rows that a group
// lists beyond its runs come after all the runs, group by group: a row added
// to a group needs nothing here.
constexpr run table_order[] = {
    {data_processing::rows, 8},   // NOP to AND.B
    {branches::rows, 4},          // BF to BT/S
    {data_processing::rows, 11},  // CLRMAC to CMP/EQ #imm
    {divide_multiply::rows, 5},   // DIV0S to DMULU
    {data_processing::rows, 6},   // DT to SLEEP
    {branches::rows, 6},          // BRA to JSR
    {system_loads::rows, 12},     // LDC and LDS
    {divide_multiply::rows, 2},   // MAC.L and MAC.W
    {data_processing::rows, 1},   // MOV.B
};
constexpr std::span<const opcode_row> groups[] = {data_processing::rows, branches::rows, system_loads::rows,
                                                  divide_multiply::rows};

consteval std::size_t count_rows() {
  std::size_t count = 0;
  for (const auto group : groups) count += group.size();
  return count;
}

consteval std::array<opcode_row, count_rows()> assemble() {
  std::array<opcode_row, count_rows()> table{};
  std::size_t next = 0;
  std::size_t taken[std::size(groups)] = {};  // of each group's rows
  const auto take = [&](std::size_t group, std::size_t count) {
    if (taken[group] + count > groups[group].size()) throw "a run past the end of its group";
    while (count-- > 0) table[next++] = groups[group][taken[group]++];
  };
  for (const run& r : table_order) {
    std::size_t group = 0;
    while (groups[group].data() != r.group.data()) ++group;
    take(group, r.count);
  }
  for (std::size_t group = 0; group < std::size(groups); ++group) take(group, groups[group].size() - taken[group]);
  return table;
}

constexpr auto all_rows = assemble();

}  // namespace

constexpr std::span<const opcode_row> opcode_table = all_rows;

namespace {

// Gives every word the row that decode_lookup gives it, without searching the
// table 65536 times: since the patterns are disjoint, each row can simply be
// stored at every word it covers, found by counting through the subsets of its
// operand bits.
consteval std::array<row_number, 0x10000> expand_rows() {
  std::array<row_number, 0x10000> table{};
  for (std::size_t row = 0; row < all_rows.size(); ++row) {
    const auto operand_bits = static_cast<std::uint16_t>(~all_rows[row].mask);
    std::uint16_t operands = operand_bits;
    for (;;) {
      table[all_rows[row].match | operands] = static_cast<row_number>(row + 1);
      if (operands == 0) break;
      operands = static_cast<std::uint16_t>((operands - 1) & operand_bits);
    }
  }
  return table;
}

using handler_array = std::remove_const_t<decltype(row_handlers)>;
static_assert(all_rows.size() < handler_array{}.size(), "a row number for every row");

consteval handler_array handlers_by_row() {
  handler_array handlers{};
  handlers.fill(default_row.handler);
  for (std::size_t row = 0; row < all_rows.size(); ++row) handlers[row + 1] = all_rows[row].handler;
  return handlers;
}

}  // namespace

constexpr std::array<row_number, 0x10000> decode_table = expand_rows();
constexpr handler_array row_handlers = handlers_by_row();

namespace {

// The words that have a row and those that have none.
consteval std::array<int, 2> count_entries() {
  std::array<int, 2> counts{};
  for (const row_number entry : decode_table) ++counts[entry == 0];
  return counts;
}
constexpr std::array<int, 2> entry_counts = count_entries();

}  // namespace

void build_decode_table() {
  out::print<"%d Implemented opcodes.\n%d/%d instructions available.\n">(implemented_opcodes, entry_counts[0],
                                                                         entry_counts[1]);
}
