// The implemented instructions, one row each, in the order the decoder tries
// them. The patterns are disjoint, so the order never changes a decoding.
#include "decoder.h"
#include "handlers.h"

const std::array<opcode_row, opcode_rows> opcode_table = {{
}};
