// The "about Atoms" information: every atom of every phase with its stored data, then, atom by
// atom, its symmetry-equivalent positions with the number of images that fall on each.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The lines of the atom list: per phase with atoms a header, per atom its data and a blank line
// (five lines, six in a magnetic phase). A phase without atoms shows "No atoms for phase " + p
// and adds nothing.
std::vector<std::string> AtomicInfoLines();
// The lines of one atom's window: its name, the column caption and the merged positions of
// FindEquivalentPositions (running number, x, y, z, count).
std::vector<std::string> EquivalentPositionLines(int32_t phase, int32_t atom);

// "Atomic information.": the atom list in a list box with "Save", then one window per atom with
// its equivalent positions; Cancel in any window ends the display. The list box holds the whole
// list however long it is.
void ShowAtomicInfo();
