#!/usr/bin/env bash
# tagloomsmith.exe must import KERNEL32.dll and nothing else, and carry
# unwind data (an exception directory) for crash dumps and stack walks.
set -euo pipefail
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
dlls=$("$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
echo "imports: $dlls"
[ "$dlls" = "KERNEL32.dll" ]
"$objdump" -p "$1" | grep -E 'Exception Directory' | grep -v -E ' 0+ 0+ Exception'
