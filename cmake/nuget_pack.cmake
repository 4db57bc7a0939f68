# Run by cpack after it has made the zip: packs the same files into
# Tagloomsmith.<version>.nupkg beside it, in NuGet's layout (the tool in
# tools/, the MSBuild files as build/native/Tagloomsmith.props and
# .targets, which NuGet imports into a C++ project that installs the
# package). CPack's own NuGet generator packs an install tree as it stands
# and, with Debian's nuget, names its entries "./tools/...".
set(nuspec "${CPACK_TEMPORARY_DIRECTORY}/Tagloomsmith.nuspec")
configure_file("${CPACK_TAGLOOMSMITH_NUSPEC}" "${nuspec}" @ONLY)
# Where cpack puts the packages it makes.
set(destination "${CPACK_PACKAGE_DIRECTORY}")
if(CPACK_OUTPUT_FILE_PREFIX)
    set(destination "${CPACK_OUTPUT_FILE_PREFIX}")
endif()
execute_process(
    COMMAND "${CPACK_TAGLOOMSMITH_NUGET}" pack "${nuspec}" -BasePath "${CPACK_TEMPORARY_DIRECTORY}"
            -OutputDirectory "${destination}" -NoPackageAnalysis -NonInteractive
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "nuget pack failed:\n${output}")
endif()
message(STATUS "- package: ${destination}/Tagloomsmith.${CPACK_PACKAGE_VERSION}.nupkg generated.")
