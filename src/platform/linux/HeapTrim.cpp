#include "platform/linux/HeapTrim.h"

#include <malloc.h>

namespace orvi::platform {

void trimHeap() {
    malloc_trim(0);
}

} // namespace orvi::platform
