#pragma once

#include <stdint.h>

// tool_main makes one whole run: options, search, scan, header, output
// file, final line. It returns the exit code: 0 when the header was written (or the usage text
// printed), 1 on an error, which has then been said on standard error.
int32_t tool_main(int32_t count, char** values);
