// SPDX-License-Identifier: GPL-2.0-or-later
// Prints, for each player pattern on a simulated counter, the frames on the 20 ms grid and
// on the player's beat side by side.
#include <iostream>

#include "player_patterns.h"

int main() {
    hardsid::patterns::PrintTable(std::cout);
    return 0;
}
