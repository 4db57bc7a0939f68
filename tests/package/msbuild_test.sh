#!/usr/bin/env bash
# tagloomsmith's MSBuild files as a Visual Studio project uses them, run by
# Mono's xbuild on a project of a C++ project's shape: ClCompile items and a
# ClCompile target that compiles them with their include folders (here with
# cc). With the Windows build, nuget and Wine: cpack makes the NuGet
# package beside the zip, nuget installs it from a folder feed into the
# solution's packages folder, and the project imports its
# build/native/Tagloomsmith.targets alone, which finds the tool in the
# package's tools folder (run under Wine). Without them: the install tree's
# files, which find the Linux tool in bin/.
# One solution walks the promises: a first build, a build that compiles
# nothing, a new id; the build folders and the package managers' folders
# left out by path while source folders of the same names are searched,
# all under commas (one in a build folder's own name is an error);
# ".c;.h" extensions; strict by default, extra arguments, strict turned
# off; the limits; a missing executable named; Clean removes the header and killed
# runs' temporaries; a design-time build runs nothing.
# Usage: msbuild_test.sh <build dir> [<Windows build dir> <Wine runner>]
set -euo pipefail
command -v xbuild >/dev/null || { echo "skipped: no xbuild"; exit 77; }
build=$1
windows=${2:-}
wine_run=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# nuget and Mono keep their settings and caches under the home folder.
export HOME=$work
fail() { echo "FAIL (msbuild): $*" >&2; exit 1; }
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; fail "$*"; }; }
sln=$work/sln,1
app=$sln/app,1
mkdir -p "$app/src/obj" "$app/src/packages" "$app/obj" "$app/vcpkg_installed/x64-windows/include" \
    "$sln/lib" "$sln/.vs/app" "$sln/packages/dep/include"

if [ -n "$windows" ] && command -v nuget >/dev/null; then
    quiet cpack --config "$windows/CPackConfig.cmake" -B "$work/dist"
    ls "$work"/dist/tagloomsmith-*-windows-*.zip >/dev/null 2>&1 || fail "no zip: $(ls "$work/dist")"
    nupkg=$(cd "$work/dist" && ls Tagloomsmith.*.nupkg) || fail "no package beside the zip: $(ls "$work/dist")"
    version=${nupkg#Tagloomsmith.}
    version=${version%.nupkg}
    quiet nuget install Tagloomsmith -Source "$work/dist" -OutputDirectory "$sln/packages" -NonInteractive
    package=$sln/packages/Tagloomsmith.$version
    [ "$(head -c 2 "$package/tools/tagloomsmith.exe")" = MZ ] || fail "no Windows tool in tools/"
    [ -f "$package/build/native/Tagloomsmith.props" ] || fail "no Tagloomsmith.props"
    # Linux runs a Windows program through Wine: the package's tool stays
    # where it is, and a script of the same name runs it.
    mv "$package/tools/tagloomsmith.exe" "$package/tools/windows.exe"
    printf '#!/bin/sh\nexec "%s" "$(dirname "$0")/windows.exe" "$@"\n' "$wine_run" >"$package/tools/tagloomsmith.exe"
    chmod +x "$package/tools/tagloomsmith.exe"
    targets="..\\packages\\Tagloomsmith.$version\\build\\native\\Tagloomsmith.targets"
    props=
else
    quiet cmake --install "$build" --prefix "$work/prefix"
    ln -s tagloomsmith "$work/prefix/bin/tagloomsmith.exe"
    targets=$work/prefix/share/tagloomsmith/msbuild/tagloomsmith.targets
    props="<Import Project=\"$work/prefix/share/tagloomsmith/msbuild/tagloomsmith.props\" />"
fi

cd "$app"
cat >src/main.c <<'C'
#define PROFILER_ON
#define PROFILER_IMPLEMENTATION
#include "profiler_ids.h"
#include <stdio.h>
int main(void) { /* profiler_event_start(alpha) */
    for (int i = 0; i < profiler_event_id_count; ++i) printf("%s\n", profiler_event_id_strings[i]);
    return 0;
}
C
# Searched: folders that share a build folder's or a package manager's
# name, the solution's other folders, headers.
echo 'void late(void) { /* profiler_event_start(nested_obj) */ }' >src/obj/late.c
echo 'void ours(void) { /* profiler_event_start(ours_in_packages) */ }' >src/packages/ours.c
echo 'void lib(void) { /* profiler_event_start(from_lib) */ }' >"$sln/lib/lib.c"
echo '/* profiler_event_start(in_header) */' >src/api.h
echo '/* profiler_event_start(in_cpp) */' >src/skipped.cpp
# Left out: the build folders, and the folders package managers fill.
echo '/* profiler_event_start(stale) */' >obj/stale.c
mkdir bin && echo '/* profiler_event_start(built) */' >bin/built.h
echo '/* profiler_event_start(vcpkg) */' >vcpkg_installed/x64-windows/include/v.h
echo '/* profiler_event_start(vendored) */' >"$sln/packages/dep/include/dep.h"
echo '/* profiler_event_start(ide) */' >"$sln/.vs/app/ide.h"
mkdir -p "$sln/vcpkg_elsewhere"
echo '/* profiler_event_start(vcpkg_elsewhere) */' >"$sln/vcpkg_elsewhere/w.h"
cat >compile.sh <<'SH'
echo "$2" >>compiled.log
includes=$(echo "$1" | tr ';' '\n' | sed '/^$/d; s/^/-I/')
cc $includes -c -o "$3" "$2"
SH
cat >app.vcxproj <<XML
<Project DefaultTargets="Build" xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  $props
  <PropertyGroup>
    <IntDir>obj\\</IntDir>
    <OutDir>bin\\</OutDir>
    <SolutionDir>$sln/</SolutionDir>
    <TagloomsmithDirectories>\$(SolutionDir)</TagloomsmithDirectories>
    <TagloomsmithExtensions>.c;.h</TagloomsmithExtensions>
    <VcpkgInstalledDir>$sln/vcpkg_elsewhere/</VcpkgInstalledDir>
  </PropertyGroup>
  <ItemGroup>
    <ClCompile Include="src\\*.c;src\\obj\\*.c;src\\packages\\*.c;..\\lib\\*.c" />
  </ItemGroup>
  <Target Name="ClCompile" Inputs="@(ClCompile);\$(TagloomsmithOutput)" Outputs="@(ClCompile->'\$(IntDir)%(Filename).o')">
    <Exec Command="sh compile.sh &quot;%(ClCompile.AdditionalIncludeDirectories)&quot; %(ClCompile.Identity) \$(IntDir)%(ClCompile.Filename).o" />
  </Target>
  <Target Name="Build" DependsOnTargets="ClCompile">
    <MakeDir Directories="\$(OutDir)" />
    <Exec Command="cc -o \$(OutDir)app @(ClCompile->'\$(IntDir)%(Filename).o', ' ')" />
  </Target>
  <Target Name="Clean"><Delete Files="@(ClCompile->'\$(IntDir)%(Filename).o')" /></Target>
  <Import Project="$targets" />
</Project>
XML
xbuild_ok() { quiet xbuild /nologo /v:minimal "$@" app.vcxproj; }
xbuild_fails() {
    if xbuild /nologo /v:minimal "$@" app.vcxproj >"$work/log" 2>&1; then fail "xbuild $* went through"; fi
}
ids() { ./bin/app | sort | tr '\n' ' '; }
fixed="profiler_collapse profiler_not_measured"

xbuild_ok
[ "$(ids)" = "alpha from_lib in_header nested_obj ours_in_packages $fixed " ] || fail "first build: $(ids)"
xbuild_ok
[ "$(wc -l <compiled.log)" = 4 ] || fail "a build with nothing changed compiled: $(cat compiled.log)"
sed -i 's|profiler_event_start(alpha)|profiler_event_start(alpha) profiler_event_start(beta)|' src/main.c
xbuild_ok
[ "$(ids)" = "alpha beta from_lib in_header nested_obj ours_in_packages $fixed " ] || fail "a new id: $(ids)"

# Strict by default, so a folder that cannot be searched fails the build;
# extra arguments reach the tool; strict can be turned off.
xbuild_fails "/p:TagloomsmithAdditionalArguments=-d nowhere"
grep -q 'cannot search directory "nowhere"' "$work/log" || { cat "$work/log"; fail "no word on nowhere"; }
# The tool writes UTF-8 to a pipe, and the Exec reads it so: a non-ASCII
# name stays readable. (Linux's xbuild reads UTF-8 anyway; Windows' MSBuild
# reads the console's code page unless told, as its Exec documentation says.)
xbuild_ok "/p:TagloomsmithAdditionalArguments=-d nowhere-é" /p:TagloomsmithStrict=false
grep -q "warning: cannot search directory \"nowhere-é\"" "$work/log" || { cat "$work/log"; fail "no warning"; }

# The limits reach the tool: six event ids do not pass a limit of two.
xbuild_fails /p:TagloomsmithMaxIds=2 /p:TagloomsmithMaxFiles=100
grep -q "the limit of 2 event ids was reached; raise it with --max-ids" "$work/log" ||
    { cat "$work/log"; fail "no word on TagloomsmithMaxIds"; }

xbuild_fails '/p:IntDir=o%2Cbj\'
grep -q "comma-separated: 'o,bj.'" "$work/log" || { cat "$work/log"; fail "no word on the comma"; }

xbuild_fails "/p:TagloomsmithExecutable=$work/none/tagloomsmith.exe"
grep -q "TagloomsmithExecutable names no file: '$work/none/tagloomsmith.exe'" "$work/log" ||
    { cat "$work/log"; fail "the missing executable was not named"; }

# Clean: the header, and the temporaries of killed runs; nothing else.
touch obj/.profiler_ids.h.4242-0.tmp obj/.profiler_ids.h.4242-17.tmp obj/.profiler_ids.h.keep
xbuild_ok /t:Clean
[ ! -e obj/profiler_ids.h ] || fail "Clean left the header"
[ "$(cd obj && ls -A | sort | tr '\n' ' ')" = ".profiler_ids.h.keep stale.c " ] || fail "Clean: $(ls -A obj)"

# Visual Studio's design-time builds (IntelliSense) do not run the tool.
xbuild_ok /t:TagloomsmithGenerateIds /p:DesignTimeBuild=true
[ ! -e obj/profiler_ids.h ] || fail "a design-time build ran the tool"
xbuild_ok /t:TagloomsmithGenerateIds
[ -e obj/profiler_ids.h ] || fail "the target did not run"
echo "msbuild integration: ok"
