#!/bin/sh
# Stops the wine server of a prefix and removes the folder it made for its
# socket under TMPDIR, or /tmp (wine-XXXXXX/server-<device>-<inode of the
# prefix>), so a test run leaves nothing behind.
# Usage: wine_stop.sh <prefix>
prefix=$1
[ -d "$prefix" ] || exit 0
WINEPREFIX="$prefix" wineserver -k 2>/dev/null
socket=$(printf 'server-%x-%x' $(stat -c '%d %i' "$prefix"))
for dir in "${TMPDIR:-/tmp}"/wine-*/"$socket"; do
    [ -d "$dir" ] || continue
    rm -rf "$dir"
    rmdir "$(dirname "$dir")" 2>/dev/null
done
exit 0
