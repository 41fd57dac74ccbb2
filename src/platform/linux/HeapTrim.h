#pragma once

namespace orvi::platform {

// Returns the C library allocator's free pages, also those inside the heap, to the system.
void trimHeap();

} // namespace orvi::platform
