#pragma once

#include <string>

namespace pelorin {

// A rehearsal (a pilot, simulated subjects) writes a run folder of its own: a subject list and a
// dataset. Why the rehearsal's folder would reach the lab's records in runFolder, the current folder
// (its subject list and its Res_Data), as words that follow the folder's name; empty when it keeps
// apart. Both folders are resolved first (symbolic links, ".."), and so are the records inside them.
std::string ReachesLabRecords(const std::string& rehearsal, const std::string& runFolder);

}  // namespace pelorin
