// libFuzzer harness for the board save's reader: any bytes are either refused or
// give a consistent save that the writer turns back into the very same bytes.
#include <cstdint>
#include <cstdlib>

#include "game/board_save.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBoardSave save;
  if (!DecodeBoardSave(data, size, save)) return 0;
  if (!BoardSaveConsistent(save)) std::abort();
  const std::vector<unsigned char> again = EncodeBoardSave(save);
  if (again.size() != size || !std::equal(again.begin(), again.end(), data)) std::abort();
  return 0;
}
