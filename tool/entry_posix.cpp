// The shell has split the arguments already: hand them to the driver.
#include "base/platform/platform.h"
#include "tool/driver.h"

int main(int argc, char** argv) {
    platform_init();
    return tool_main(argc, argv);
}
