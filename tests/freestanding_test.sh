#!/usr/bin/env bash
# base/ and tool/ must link into a program with no runtime library: outside
# base/platform/, no object may need a symbol from the C or C++ runtime,
# except the byte fill and copy the compiler may emit (the Windows build
# provides those itself).
set -euo pipefail
status=0
for object in "$@"; do
    case "$object" in */platform/*) continue ;; esac
    for symbol in $(nm -u "$object" | awk '{print $2}'); do
        case "$symbol" in
        memset | memcpy | memmove | memcmp) ;;
        _Z*)
            # C++ symbols must be the project's own functions.
            name=$(echo "$symbol" | c++filt)
            case "$name" in
            std::* | operator* | __cxa* | *typeinfo* | *vtable*)
                echo "$object: $name"
                status=1
                ;;
            esac
            ;;
        *)
            echo "$object: $symbol"
            status=1
            ;;
        esac
    done
done
exit $status
