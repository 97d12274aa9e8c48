#pragma once

#include <QtGlobal>

namespace Model {

// The machine's physical memory in bytes, as the system reports it, or a
// cautious 4 GiB when it does not say.
qint64 physicalMemoryBytes();
// Answers bytes from physicalMemoryBytes() from now on, as if the machine
// had that much; 0 asks the system again. For tests of the refusals and of
// the bounds that work sets itself by the memory, which cannot fill or empty
// the memory of the machine they run on.
void assumePhysicalMemoryBytes(qint64 bytes);

// Whether work that holds bytes at once can be held at all. Long commands
// ask before they start, so that a size or a set of files that would need
// more than the machine has is refused with a message instead of ending
// the program part-way.
bool fitsInMemory(double bytes);

} // namespace Model
