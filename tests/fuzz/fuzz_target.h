// What every fuzz target shares: the entry point that libFuzzer and the corpus
// replay call, and the way a target reports a broken rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

// Aborts, so that the fuzzer keeps the input that broke the rule and the corpus
// replay fails.
inline void check(bool ok) {
  if (!ok) std::abort();
}
