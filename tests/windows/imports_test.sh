#!/usr/bin/env bash
# tagloomsmith.exe must import KERNEL32.dll and nothing else.
set -euo pipefail
objdump=$(command -v x86_64-w64-mingw32-objdump || command -v objdump)
dlls=$("$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
echo "imports: $dlls"
[ "$dlls" = "KERNEL32.dll" ]
