#pragma once
// How the process's heap gives memory back to the system.

namespace korv::platform {

// Keeps blocks of 128 KiB and more in mappings of their own, returned to the system when
// freed. glibc raises that threshold after each such block is freed (up to 32 MiB), and a
// large log's load frees many blocks of a few hundred KiB: the blocks after them would stay
// in the heap, which holds on to what it freed. Returns whether the setting took.
bool ReturnLargeBlocksToSystem();

}  // namespace korv::platform
