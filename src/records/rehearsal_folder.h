#pragma once

#include <string>

namespace pelorin {

// A rehearsal (a pilot, simulated subjects) writes a run folder of its own: a subject list and a
// dataset. Why the rehearsal's folder would reach the lab's records in runFolder, the current folder
// (its subject list and its Res_Data), as words that follow the folder's name; empty when it keeps
// apart. Paths are compared as the system resolves them, by the identity of what they reach (device
// and inode; volume and file index): links, junctions, "..", letter case where the system ignores it
// and 8.3 names lead to the same answer, and a Res_Data whose entries are links or hard links to the
// lab's is refused too.
std::string ReachesLabRecords(const std::string& rehearsal, const std::string& runFolder);

}  // namespace pelorin
