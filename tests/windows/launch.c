/* Test helper, built for Windows with its ordinary runtime: starts a program
   with an exact command line, so the tests can hand the tool any text,
   ill-formed UTF-16 included, and returns the program's exit code.
   Usage: launch.exe <program> <file with the command line as UTF-16LE> */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 120;
    FILE* in = _wfopen(argv[2], L"rb");
    if (!in) return 121;
    static wchar_t line[65536];
    size_t units = fread(line, sizeof(wchar_t), 65535, in);
    fclose(in);
    line[units] = 0;
    STARTUPINFOW startup;
    PROCESS_INFORMATION process;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (!CreateProcessW(argv[1], line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process))
        return 122;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 123;
    GetExitCodeProcess(process.hProcess, &code);
    return (int)code;
}
