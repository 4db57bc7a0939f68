#!/bin/sh
# Makes the test suite's Wine prefix and starts one wine server for the
# whole run: started with the prefix, it stays up for a minute after its
# last client, instead of starting for every run. A server left from an
# earlier run is stopped first.
# Usage: wine_start.sh <prefix> <wineserver> <wine_run.sh>
prefix=$1
wineserver=$2
wine_run=$3
mkdir -p "$prefix" || exit 1
WINEPREFIX="$prefix" "$wineserver" -k 2>/dev/null
WINEPREFIX="$prefix" "$wineserver" -p 60 </dev/null >/dev/null 2>&1 &&
    "$wine_run" cmd /c exit 0 </dev/null >/dev/null 2>&1
