// The vector operations are inline in the header; this unit keeps the library
// non-empty and checks that the header stands on its own.
#include "core/vecmath.h"
