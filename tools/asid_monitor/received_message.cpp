// SPDX-License-Identifier: GPL-2.0-or-later
#include "received_message.h"

namespace hardsid::monitor {

std::string Location::Text() const {
    if (line == 0) {
        return "offset " + std::to_string(offset);
    }
    return "line " + std::to_string(line) + ", byte " + std::to_string(offset);
}

} // namespace hardsid::monitor
