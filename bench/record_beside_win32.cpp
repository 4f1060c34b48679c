// Windows records nothing beside itself: scripts/bench --wine runs the Linux benchmark for that.
#include "record_beside.h"

namespace pelorin::bench {

int RecordTonesBeside(const std::string&, const std::string&, bool) { return 2; }

}  // namespace pelorin::bench
