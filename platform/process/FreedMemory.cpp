#include "platform/process/FreedMemory.h"

#include <malloc.h>

namespace tomelet {

void ReturnFreedMemory() {
  ::malloc_trim(0);
}

}  // namespace tomelet
