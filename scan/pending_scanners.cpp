// The COM registrations of phases 1 and 2 are not examined yet: the phases run and find
// nothing.
#include "scan/scan_engine.h"

void CScanEngine::ScanComRegistrations(bool) {}
