// The implemented instructions, one row each: the pattern (instruction_set.h)
// and the handler, in the order the decoder tries them; and the decode table
// that the compiler derives from them. The patterns are disjoint, so the
// order never changes a decoding.
#include "decoder.h"
#include "handlers.h"
#include "output.h"

using namespace isa;

constexpr std::array<opcode_row, opcode_rows> opcode_table = {{
    row(NOP, op_nop),
    row(ADD, op_add),
    row(ADD_imm, op_add_imm),
    row(ADDC, op_addc),
    row(ADDV, op_addv),
    row(AND, op_and),
    row(AND_imm, op_and_imm),
    row(AND_B, op_and_b),
    row(BF, op_bf),
    row(BF_S, op_bf_s),
    row(BT, op_bt),
    row(BT_S, op_bt_s),
    row(CLRMAC, op_clrmac),
    row(CLRT, op_clrt),
    row(CMP_EQ, op_cmp_eq),
    row(CMP_GE, op_cmp_ge),
    row(CMP_GT, op_cmp_gt),
    row(CMP_HI, op_cmp_hi),
    row(CMP_HS, op_cmp_hs),
    row(CMP_PL, op_cmp_pl),
    row(CMP_PZ, op_cmp_pz),
    row(CMP_STR, op_cmp_str),
    row(CMP_EQ_imm, op_cmp_eq_imm),
    row(DIV0S, op_div0s),
    row(DIV0U, op_div0u),
    row(DIV1, op_div1),
    row(DMULS, op_dmuls),
    row(DMULU, op_dmulu),
    row(DT, op_dt),
    row(EXTS_B, op_exts_b),
    row(EXTS_W, op_exts_w),
    row(EXTU_B, op_extu_b),
    row(EXTU_W, op_extu_w),
    row(SLEEP, op_sleep),
    row(BRA, op_bra),
    row(BRAF, op_braf),
    row(BSR, op_bsr),
    row(BSRF, op_bsrf),
    row(JMP, op_jmp),
    row(JSR, op_jsr),
    row(LDC_SR, op_ldc_sr),
    row(LDC_GBR, op_ldc_gbr),
    row(LDC_VBR, op_ldc_vbr),
    row(LDC_L_SR, op_ldc_l_sr),
    row(LDC_L_GBR, op_ldc_l_gbr),
    row(LDC_L_VBR, op_ldc_l_vbr),
    row(LDS_MACH, op_lds_mach),
    row(LDS_MACL, op_lds_macl),
    row(LDS_PR, op_lds_pr),
    row(LDS_L_MACH, op_lds_l_mach),
    row(LDS_L_MACL, op_lds_l_macl),
    row(LDS_L_PR, op_lds_l_pr),
    row(MAC_L, op_mac_l),
    row(MAC_W, op_mac_w),
    row(MOV_B_R0, op_mov_b_r0),
}};

namespace {

// Gives every word the row that decode_lookup gives it, without searching the
// table 65536 times: since the patterns are disjoint, each row can simply be
// stored at every word it covers, found by counting through the subsets of its
// operand bits.
consteval std::array<row_number, 0x10000> expand_rows() {
  std::array<row_number, 0x10000> table{};
  for (std::size_t row = 0; row < opcode_rows; ++row) {
    const auto operand_bits = static_cast<std::uint16_t>(~opcode_table[row].mask);
    std::uint16_t operands = operand_bits;
    for (;;) {
      table[opcode_table[row].match | operands] = static_cast<row_number>(row + 1);
      if (operands == 0) break;
      operands = static_cast<std::uint16_t>((operands - 1) & operand_bits);
    }
  }
  return table;
}

consteval std::array<handler_fn, opcode_rows + 1> handlers_by_row() {
  std::array<handler_fn, opcode_rows + 1> handlers{default_row.handler};
  for (std::size_t row = 0; row < opcode_rows; ++row) handlers[row + 1] = opcode_table[row].handler;
  return handlers;
}

}  // namespace

constexpr std::array<row_number, 0x10000> decode_table = expand_rows();
constexpr std::array<handler_fn, opcode_rows + 1> row_handlers = handlers_by_row();

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
