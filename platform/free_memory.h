#pragma once

// Gives the system back the memory the allocator keeps in its free lists.
// After a copy of many megabytes its buffers are free but stay resident:
// the allocator keeps freed blocks for reuse. Costs about a millisecond;
// call it off the GUI thread.
void returnFreeMemoryToSystem();
