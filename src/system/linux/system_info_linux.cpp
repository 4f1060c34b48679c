#include "check/system_info.h"
#include "system/system_facts.h"

namespace pelorin::check {

PowerFigures ReadPower() { return {}; }

std::string SystemName() { return OperatingSystemDescription() + " (X11)"; }

ReferenceSystem ReferenceSystemHere() { return ReferenceSystem::Linux; }

const char* InjectorName() { return "XTest"; }

}  // namespace pelorin::check
