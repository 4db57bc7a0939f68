#pragma once

#include "base/data.h"
#include "tool/report.h"

// What --check says of an output that is out of date: the ids the new
// header adds and the ones it removes, read from the enumerations of both
// texts.

// check_describe adds to the message ": 2 ids added (event a, timeline b),
// 1 removed (event c)", or ": the same ids in another order", or ": the same
// ids, other text", comparing the old header's text with the new one.
// Scratch is memory for the two lists of ids; with too little, or an old
// text that is no header of ours, nothing is added.
void check_describe(message_t* m, const data_t& old_text, const data_t& new_text, data_t scratch);
