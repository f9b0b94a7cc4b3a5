// Program entry. Until the window exists, the program checks its own payload:
// every entry must decompress to the content its hash names.
#include "installer/payload.h"

int main() {
  for (const setup::PayloadEntry& entry : setup::payloadTable) {
    if (setup::contentHash(setup::uncompress(entry.compressed)) != entry.hash) return 1;
  }
  return 0;
}
