#include "sh2.h"

sh2_registers sh2_state{};
std::array<std::uint8_t, memory_size> sh2_memory{};
