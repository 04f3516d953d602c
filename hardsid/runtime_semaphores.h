// SPDX-License-Identifier: GPL-2.0-or-later
// The semaphores that the statically linked C++ runtime made for its own locks.
#pragma once

namespace hardsid {

/// Closes them, at the unload, once nothing of the library runs on another thread. The
/// runtime's locks stay usable by the one thread that unloads: an uncontended lock never
/// touches its semaphore.
void CloseRuntimeSemaphores() noexcept;

} // namespace hardsid
