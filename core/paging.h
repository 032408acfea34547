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
