#include "vendor/ui/toolkit_environment.h"

#include <cstdlib>

void PrepareToolkitEnvironment() {
    ::setenv("GTK_OVERLAY_SCROLLING", "0", 0);
}
