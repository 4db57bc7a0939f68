// The Windows entry point: no runtime start-up runs before it. It splits the
// wide command line, runs the driver and ends the process with its result.
#include "base/command_line.h"
#include "base/platform/platform.h"
#include "tool/driver.h"
#include "tool/report.h"

extern "C" [[noreturn]] void process_entry(void) {
    platform_init();
    int32_t count = 0;
    command_line_result_t result;
    char** values = command_line_split(&count, &result);
    if (!values) {
        // The second text is the tool's own, byte for byte ("tool long").
        if (result == COMMAND_LINE_ILL_FORMED)
            report_error("the command line is not well-formed UTF-16");
        else
            report_error("Empty command line or tool long command line.");
        platform_exit(1);
    }
    platform_exit((uint32_t)tool_main(count, values));
}
