// Comparing two open files byte for byte: the last word before a copy is
// removed, never a hash (a user frees space on the word of it).
#pragma once

// Whether the two open files hold the same bytes, read with pread from
// their starts (so the descriptors' offsets do not matter); `error` is set
// (and errno kept) when a read failed.
bool same_bytes(int a, int b, bool& error);
