// A counting malloc for the allocation tests: linked into a test program, it
// replaces the C library's malloc, calloc and realloc and counts each call.
#pragma once

long allocations_so_far();
