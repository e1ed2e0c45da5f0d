// The implemented instructions, one row each, in the order the decoder tries
// them, and the decode table that the compiler derives from them. The
// patterns are disjoint, so the order never changes a decoding.
#include "decoder.h"
#include "handlers.h"
#include "output.h"

constexpr std::array<opcode_row, opcode_rows> opcode_table = {{
    pattern("0000000000001001", FORMAT_0, op_nop),          // NOP
    pattern("0011nnnnmmmm1100", FORMAT_NM, op_add),         // ADD Rm,Rn
    pattern("0111nnnniiiiiiii", FORMAT_NI, op_add_imm),     // ADD #imm,Rn
    pattern("0011nnnnmmmm1110", FORMAT_NM, op_addc),        // ADDC Rm,Rn
    pattern("0011nnnnmmmm1111", FORMAT_NM, op_addv),        // ADDV Rm,Rn
    pattern("0010nnnnmmmm1001", FORMAT_NM, op_and),         // AND Rm,Rn
    pattern("11001001iiiiiiii", FORMAT_I, op_and_imm),      // AND #imm,R0
    pattern("11001101iiiiiiii", FORMAT_I, op_and_b),        // AND.B #imm,@(R0,GBR)
    pattern("10001011dddddddd", FORMAT_D, op_bf),           // BF label
    pattern("10001111dddddddd", FORMAT_D, op_bf_s),         // BF/S label
    pattern("10001001dddddddd", FORMAT_D, op_bt),           // BT label
    pattern("10001101dddddddd", FORMAT_D, op_bt_s),         // BT/S label
    pattern("0000000000101000", FORMAT_0, op_clrmac),       // CLRMAC
    pattern("0000000000001000", FORMAT_0, op_clrt),         // CLRT
    pattern("0011nnnnmmmm0000", FORMAT_NM, op_cmp_eq),      // CMP/EQ Rm,Rn
    pattern("0011nnnnmmmm0011", FORMAT_NM, op_cmp_ge),      // CMP/GE Rm,Rn
    pattern("0011nnnnmmmm0111", FORMAT_NM, op_cmp_gt),      // CMP/GT Rm,Rn
    pattern("0011nnnnmmmm0110", FORMAT_NM, op_cmp_hi),      // CMP/HI Rm,Rn
    pattern("0011nnnnmmmm0010", FORMAT_NM, op_cmp_hs),      // CMP/HS Rm,Rn
    pattern("0100nnnn00010101", FORMAT_N, op_cmp_pl),       // CMP/PL Rn
    pattern("0100nnnn00010001", FORMAT_N, op_cmp_pz),       // CMP/PZ Rn
    pattern("0010nnnnmmmm1100", FORMAT_NM, op_cmp_str),     // CMP/STR Rm,Rn
    pattern("10001000iiiiiiii", FORMAT_I, op_cmp_eq_imm),   // CMP/EQ #imm,R0
    pattern("0010nnnnmmmm0111", FORMAT_NM, op_div0s),       // DIV0S Rm,Rn
    pattern("0000000000011001", FORMAT_0, op_div0u),        // DIV0U
    pattern("0011nnnnmmmm0100", FORMAT_NM, op_div1),        // DIV1 Rm,Rn
    pattern("0011nnnnmmmm1101", FORMAT_NM, op_dmuls),       // DMULS.L Rm,Rn
    pattern("0011nnnnmmmm0101", FORMAT_NM, op_dmulu),       // DMULU.L Rm,Rn
    pattern("0100nnnn00010000", FORMAT_N, op_dt),           // DT Rn
    pattern("0110nnnnmmmm1110", FORMAT_NM, op_exts_b),      // EXTS.B Rm,Rn
    pattern("0110nnnnmmmm1111", FORMAT_NM, op_exts_w),      // EXTS.W Rm,Rn
    pattern("0110nnnnmmmm1100", FORMAT_NM, op_extu_b),      // EXTU.B Rm,Rn
    pattern("0110nnnnmmmm1101", FORMAT_NM, op_extu_w),      // EXTU.W Rm,Rn
    pattern("0000000000011011", FORMAT_0, op_sleep),        // SLEEP
    pattern("1010dddddddddddd", FORMAT_D12, op_bra),        // BRA label
    pattern("0000mmmm00100011", FORMAT_M, op_braf),         // BRAF Rm
    pattern("1011dddddddddddd", FORMAT_D12, op_bsr),        // BSR label
    pattern("0000mmmm00000011", FORMAT_M, op_bsrf),         // BSRF Rm
    pattern("0100mmmm00101011", FORMAT_M, op_jmp),          // JMP @Rm
    pattern("0100mmmm00001011", FORMAT_M, op_jsr),          // JSR @Rm
    pattern("0100mmmm00001110", FORMAT_M, op_ldc_sr),       // LDC Rm,SR
    pattern("0100mmmm00011110", FORMAT_M, op_ldc_gbr),      // LDC Rm,GBR
    pattern("0100mmmm00101110", FORMAT_M, op_ldc_vbr),      // LDC Rm,VBR
    pattern("0100mmmm00000111", FORMAT_M, op_ldc_l_sr),     // LDC.L @Rm+,SR
    pattern("0100mmmm00010111", FORMAT_M, op_ldc_l_gbr),    // LDC.L @Rm+,GBR
    pattern("0100mmmm00100111", FORMAT_M, op_ldc_l_vbr),    // LDC.L @Rm+,VBR
    pattern("0100mmmm00001010", FORMAT_M, op_lds_mach),     // LDS Rm,MACH
    pattern("0100mmmm00011010", FORMAT_M, op_lds_macl),     // LDS Rm,MACL
    pattern("0100mmmm00101010", FORMAT_M, op_lds_pr),       // LDS Rm,PR
    pattern("0100mmmm00000110", FORMAT_M, op_lds_l_mach),   // LDS.L @Rm+,MACH
    pattern("0100mmmm00010110", FORMAT_M, op_lds_l_macl),   // LDS.L @Rm+,MACL
    pattern("0100mmmm00100110", FORMAT_M, op_lds_l_pr),     // LDS.L @Rm+,PR
    pattern("0000nnnnmmmm1111", FORMAT_NM, op_mac_l),       // MAC.L @Rm+,@Rn+
    pattern("0100nnnnmmmm1111", FORMAT_NM, op_mac_w),       // MAC.W @Rm+,@Rn+
    pattern("0000nnnnmmmm0100", FORMAT_NM, op_mov_b_r0),    // MOV.B Rm,@(R0,Rn)
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
