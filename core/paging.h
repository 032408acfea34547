// Pages asked for before they are first written. A page of fresh memory
// costs the system a fault when it is first written; a range asked for at
// once costs far less, and can be asked for by a thread with nothing else
// to do. Only a hint: no contents change, and where the system cannot do
// it nothing happens.
#pragma once

#include <cstddef>

// Makes the whole pages within [begin, begin + bytes) present and writable,
// leaving their contents as they are.
void PageInForWriting(void* begin, size_t bytes);

// The size of a large page where the system has them (x86-64 and aarch64
// with 4 KiB pages).
constexpr size_t kLargePageBytes = size_t(2) << 20;

// Asks for the whole large pages within [begin, begin + bytes) to be backed
// by large pages, each of which the processor maps with one entry where it
// needs one per 4 KiB page otherwise: memory read at random over gigabytes
// then costs far fewer page-table walks. Only a hint, as above.
void AskForLargePages(void* begin, size_t bytes);
