// SPDX-License-Identifier: GPL-2.0-or-later
// What the player's thread costs: the processor time it has used, waits by spinning included.
#pragma once

namespace hardsid::replay {

/// Processor time, user and kernel, that the calling thread has used so far, in seconds;
/// negative when the system does not tell.
double ThreadProcessorSeconds();

} // namespace hardsid::replay
