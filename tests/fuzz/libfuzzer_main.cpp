// libFuzzer's entry for one target, chosen when it is built
// (-DTSUMUGI_FUZZ_ENTRY=tsumugi::fuzz::Script, ...).
#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return TSUMUGI_FUZZ_ENTRY(data, size);
}
