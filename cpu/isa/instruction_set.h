// The implemented instructions, each encoding written once, as the manual
// writes its bit pattern. The decoder's table is built from these patterns,
// and the same patterns encode: ADD(2, 3) is the word of ADD R2,R3. Nothing
// here needs the interpreter, so the generators that run while building (the
// sample's and the workloads') include it alone.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace isa {

// Bit 15 first: 0 and 1 are fixed bits, and each run of one letter is an
// operand field.
struct bit_pattern {
  char bits[17];

  consteval bit_pattern(const char (&text)[17]) : bits{} {
    for (int i = 0; i < 17; ++i) bits[i] = text[i];
    for (int bit = 0; bit < 16; ++bit)
      if (!fixed(at(bit)) && !letter(at(bit))) throw std::invalid_argument("0, 1 or an operand letter");
  }

  static constexpr bool fixed(char c) { return c == '0' || c == '1'; }
  // Registers n and m, immediates i, displacements d.
  static constexpr bool letter(char c) { return c == 'n' || c == 'm' || c == 'i' || c == 'd'; }
  // The character of bit 0 to 15.
  constexpr char at(int bit) const { return bits[15 - bit]; }

  // The fixed bits, and their values.
  constexpr std::uint16_t mask() const {
    std::uint32_t word = 0;
    for (int bit = 0; bit < 16; ++bit) word |= std::uint32_t{fixed(at(bit))} << bit;
    return static_cast<std::uint16_t>(word);
  }
  constexpr std::uint16_t match() const {
    std::uint32_t word = 0;
    for (int bit = 0; bit < 16; ++bit) word |= std::uint32_t{at(bit) == '1'} << bit;
    return static_cast<std::uint16_t>(word);
  }

  // The number of operand fields.
  constexpr std::size_t fields() const {
    std::size_t count = 0;
    for (int bit = 0; bit < 16; ++bit) count += starts_field(bit);
    return count;
  }

  // Where the field of a letter lies: its lowest bit and its width.
  struct place {
    int shift;
    int width;
  };
  constexpr place field(char letter) const {
    place found{0, 0};
    for (int bit = 0; bit < 16; ++bit) {
      if (at(bit) != letter) continue;
      if (found.width == 0) found.shift = bit;
      if (bit != found.shift + found.width) throw std::invalid_argument("a field in one piece");
      ++found.width;
    }
    if (found.width == 0) throw std::invalid_argument("a letter of the pattern");
    return found;
  }

  // The word with the operands in its fields, taken from bit 0 up, each cut
  // to its field's width. For every form here that is the order of the
  // manual's assembly syntax: ADD(m, n) for ADD Rm,Rn, ADD_imm(i, n) for
  // ADD #imm,Rn. A wrong number of operands throws; the named instructions
  // below refuse it at compile time.
  template <std::integral... T>
  constexpr std::uint16_t operator()(T... operands) const {
    if (sizeof...(T) != fields()) throw std::invalid_argument("as many operands as the pattern has fields");
    const std::uint32_t values[] = {static_cast<std::uint32_t>(operands)..., 0};  // 0: never empty
    std::uint32_t word = match();
    int field = -1, offset = 0;
    for (int bit = 0; bit < 16; ++bit) {
      if (fixed(at(bit))) continue;
      if (starts_field(bit)) {
        ++field;
        offset = 0;
      }
      word |= ((values[field] >> offset++) & 1) << bit;
    }
    return static_cast<std::uint16_t>(word);
  }

 private:
  constexpr bool starts_field(int bit) const { return !fixed(at(bit)) && (bit == 0 || at(bit - 1) != at(bit)); }
};

// An instruction by its pattern, which checks at compile time that it is
// given an operand for each field.
template <bit_pattern P>
struct instruction {
  constexpr operator bit_pattern() const { return P; }

  template <std::integral... T>
    requires(sizeof...(T) == P.fields())
  constexpr std::uint16_t operator()(T... operands) const {
    return P(operands...);
  }
};

// The operand in field L of a word of the instruction, the inverse of
// encoding: operand<'m'>(JMP, JMP(3)) is 3. Mask and shift come from the
// pattern at compile time. An 8-bit field comes as std::uint8_t, the type that
// immediates are printed by.
template <char L, bit_pattern P>
constexpr auto operand(instruction<P>, std::uint16_t word) {
  constexpr bit_pattern::place bits = P.field(L);
  if constexpr (bits.width == 8)
    return static_cast<std::uint8_t>(word >> bits.shift);
  else
    return (unsigned{word} >> bits.shift) & ((1u << bits.width) - 1);
}

// The operand as a two's complement number of its field's width: an 8-bit
// field as std::int8_t, a wider one as std::int32_t.
template <char L, bit_pattern P>
constexpr auto signed_operand(instruction<P> form, std::uint16_t word) {
  constexpr int width = P.field(L).width;
  if constexpr (width == 8) {
    return static_cast<std::int8_t>(operand<L>(form, word));
  } else {
    constexpr unsigned sign = 1u << (width - 1);
    return static_cast<std::int32_t>((operand<L>(form, word) ^ sign) - sign);
  }
}

// In the order of the decoder's table.
inline constexpr instruction<"0000000000001001"> NOP;           // NOP
inline constexpr instruction<"0011nnnnmmmm1100"> ADD;           // ADD Rm,Rn
inline constexpr instruction<"0111nnnniiiiiiii"> ADD_imm;       // ADD #imm,Rn
inline constexpr instruction<"0011nnnnmmmm1110"> ADDC;          // ADDC Rm,Rn
inline constexpr instruction<"0011nnnnmmmm1111"> ADDV;          // ADDV Rm,Rn
inline constexpr instruction<"0010nnnnmmmm1001"> AND;           // AND Rm,Rn
inline constexpr instruction<"11001001iiiiiiii"> AND_imm;       // AND #imm,R0
inline constexpr instruction<"11001101iiiiiiii"> AND_B;         // AND.B #imm,@(R0,GBR)
inline constexpr instruction<"10001011dddddddd"> BF;            // BF label
inline constexpr instruction<"10001111dddddddd"> BF_S;          // BF/S label
inline constexpr instruction<"10001001dddddddd"> BT;            // BT label
inline constexpr instruction<"10001101dddddddd"> BT_S;          // BT/S label
inline constexpr instruction<"0000000000101000"> CLRMAC;        // CLRMAC
inline constexpr instruction<"0000000000001000"> CLRT;          // CLRT
inline constexpr instruction<"0011nnnnmmmm0000"> CMP_EQ;        // CMP/EQ Rm,Rn
inline constexpr instruction<"0011nnnnmmmm0011"> CMP_GE;        // CMP/GE Rm,Rn
inline constexpr instruction<"0011nnnnmmmm0111"> CMP_GT;        // CMP/GT Rm,Rn
inline constexpr instruction<"0011nnnnmmmm0110"> CMP_HI;        // CMP/HI Rm,Rn
inline constexpr instruction<"0011nnnnmmmm0010"> CMP_HS;        // CMP/HS Rm,Rn
inline constexpr instruction<"0100nnnn00010101"> CMP_PL;        // CMP/PL Rn
inline constexpr instruction<"0100nnnn00010001"> CMP_PZ;        // CMP/PZ Rn
inline constexpr instruction<"0010nnnnmmmm1100"> CMP_STR;       // CMP/STR Rm,Rn
inline constexpr instruction<"10001000iiiiiiii"> CMP_EQ_imm;    // CMP/EQ #imm,R0
inline constexpr instruction<"0010nnnnmmmm0111"> DIV0S;         // DIV0S Rm,Rn
inline constexpr instruction<"0000000000011001"> DIV0U;         // DIV0U
inline constexpr instruction<"0011nnnnmmmm0100"> DIV1;          // DIV1 Rm,Rn
inline constexpr instruction<"0011nnnnmmmm1101"> DMULS;         // DMULS.L Rm,Rn
inline constexpr instruction<"0011nnnnmmmm0101"> DMULU;         // DMULU.L Rm,Rn
inline constexpr instruction<"0100nnnn00010000"> DT;            // DT Rn
inline constexpr instruction<"0110nnnnmmmm1110"> EXTS_B;        // EXTS.B Rm,Rn
inline constexpr instruction<"0110nnnnmmmm1111"> EXTS_W;        // EXTS.W Rm,Rn
inline constexpr instruction<"0110nnnnmmmm1100"> EXTU_B;        // EXTU.B Rm,Rn
inline constexpr instruction<"0110nnnnmmmm1101"> EXTU_W;        // EXTU.W Rm,Rn
inline constexpr instruction<"0000000000011011"> SLEEP;         // SLEEP
inline constexpr instruction<"1010dddddddddddd"> BRA;           // BRA label
inline constexpr instruction<"0000mmmm00100011"> BRAF;          // BRAF Rm
inline constexpr instruction<"1011dddddddddddd"> BSR;           // BSR label
inline constexpr instruction<"0000mmmm00000011"> BSRF;          // BSRF Rm
inline constexpr instruction<"0100mmmm00101011"> JMP;           // JMP @Rm
inline constexpr instruction<"0100mmmm00001011"> JSR;           // JSR @Rm
inline constexpr instruction<"0100mmmm00001110"> LDC_SR;        // LDC Rm,SR
inline constexpr instruction<"0100mmmm00011110"> LDC_GBR;       // LDC Rm,GBR
inline constexpr instruction<"0100mmmm00101110"> LDC_VBR;       // LDC Rm,VBR
inline constexpr instruction<"0100mmmm00000111"> LDC_L_SR;      // LDC.L @Rm+,SR
inline constexpr instruction<"0100mmmm00010111"> LDC_L_GBR;     // LDC.L @Rm+,GBR
inline constexpr instruction<"0100mmmm00100111"> LDC_L_VBR;     // LDC.L @Rm+,VBR
inline constexpr instruction<"0100mmmm00001010"> LDS_MACH;      // LDS Rm,MACH
inline constexpr instruction<"0100mmmm00011010"> LDS_MACL;      // LDS Rm,MACL
inline constexpr instruction<"0100mmmm00101010"> LDS_PR;        // LDS Rm,PR
inline constexpr instruction<"0100mmmm00000110"> LDS_L_MACH;    // LDS.L @Rm+,MACH
inline constexpr instruction<"0100mmmm00010110"> LDS_L_MACL;    // LDS.L @Rm+,MACL
inline constexpr instruction<"0100mmmm00100110"> LDS_L_PR;      // LDS.L @Rm+,PR
inline constexpr instruction<"0000nnnnmmmm1111"> MAC_L;         // MAC.L @Rm+,@Rn+
inline constexpr instruction<"0100nnnnmmmm1111"> MAC_W;         // MAC.W @Rm+,@Rn+
inline constexpr instruction<"0000nnnnmmmm0100"> MOV_B_R0;      // MOV.B Rm,@(R0,Rn)

}  // namespace isa
