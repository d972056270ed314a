#pragma once
// What keeps a transmit record from becoming the frame its row shows.
#include <string>

#include "config/cfgrecords.h"

// Empty when the record makes a frame as it stands; otherwise why not, naming the entry: an identifier that
// does not fit its type (standard above 0x7FF, extended above 0x1FFFFFFF), a length above 8, or a channel
// above 1 (no interface has one). Records read from a file are kept as they are; they are refused only
// when a frame is built from them.
std::string CheckSendMsgRecord(const tCFG_SET_SEND_MSG& rec);
