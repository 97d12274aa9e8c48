#pragma once

#include <QtGlobal>

namespace Commands {

// The machine's physical memory in bytes, as the system reports it, or a
// cautious 4 GiB when it does not say.
qint64 physicalMemoryBytes();

// Whether work that holds bytes at once can be held at all. Long commands
// ask before they start, so that a size or a set of files that would need
// more than the machine has is refused with a message instead of ending
// the program part-way.
bool fitsInMemory(double bytes);

} // namespace Commands
