#!/usr/bin/env bash
# tagloomsmith.props and .targets as a Visual Studio project uses them, run by
# Mono's xbuild on a project of a C++ project's shape: ClCompile items and a
# ClCompile target that compiles them with their include folders (here with
# cc), the tool being the Linux one. A second build recompiles nothing, a
# new id regenerates, the build folders are not searched, Clean removes the
# header. Usage: msbuild_test.sh <build dir>
set -euo pipefail
command -v xbuild >/dev/null || { echo "skipped: no xbuild"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL (msbuild): $*" >&2; exit 1; }
build() { (cd "$work/p" && xbuild /nologo /v:minimal "$@" app.vcxproj >"$work/log" 2>&1) || { cat "$work/log"; fail "xbuild $*"; }; }
cmake --install "$1" --prefix "$work/prefix" >/dev/null
msbuild_files=$work/prefix/share/tagloomsmith/msbuild
mkdir -p "$work/p/src" "$work/p/obj"
cd "$work/p"
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
echo '/* profiler_event_start(stale) */' >obj/stale.c
cat >compile.sh <<'SH'
echo "$2" >>compiled.log
includes=$(echo "$1" | tr ';' '\n' | sed '/^$/d; s/^/-I/')
cc $includes -c -o "$3" "$2"
SH
cat >app.vcxproj <<XML
<Project DefaultTargets="Build" xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <Import Project="$msbuild_files/tagloomsmith.props" />
  <PropertyGroup>
    <IntDir>obj\\</IntDir>
    <OutDir>bin\\</OutDir>
    <TagloomsmithExecutable>$work/prefix/bin/tagloomsmith</TagloomsmithExecutable>
  </PropertyGroup>
  <ItemGroup>
    <ClCompile Include="src\\*.c" />
  </ItemGroup>
  <Target Name="ClCompile" Inputs="@(ClCompile);\$(TagloomsmithOutput)" Outputs="@(ClCompile->'\$(IntDir)%(Filename).o')">
    <Exec Command="sh compile.sh &quot;%(ClCompile.AdditionalIncludeDirectories)&quot; %(ClCompile.Identity) \$(IntDir)%(ClCompile.Filename).o" />
  </Target>
  <Target Name="Build" DependsOnTargets="ClCompile">
    <MakeDir Directories="\$(OutDir)" />
    <Exec Command="cc -o \$(OutDir)app @(ClCompile->'\$(IntDir)%(Filename).o', ' ')" />
  </Target>
  <Target Name="Clean"><Delete Files="@(ClCompile->'\$(IntDir)%(Filename).o')" /></Target>
  <Import Project="$msbuild_files/tagloomsmith.targets" />
</Project>
XML
ids() { ./bin/app | sort | tr '\n' ' '; }
build
[ "$(ids)" = "alpha profiler_collapse profiler_not_measured " ] || fail "first build: $(ids)"
build
[ "$(wc -l <compiled.log)" = 1 ] || fail "a build with nothing changed compiled: $(cat compiled.log)"
sed -i 's|/\* profiler_event_start(alpha) \*/|/* profiler_event_start(alpha) profiler_event_start(beta) */|' src/main.c
build
[ "$(ids)" = "alpha beta profiler_collapse profiler_not_measured " ] || fail "a new id: $(ids)"
build /t:Clean
[ ! -e obj/profiler_ids.h ] || fail "Clean left the header"
echo "msbuild integration: ok"
