// Runs a program to its end with its standard output and error caught in
// files, natively and under Wine alike.
#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <limits.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "base/File.h"
#include "base/Utf.h"

namespace mojian::testing {

struct Finished {
    int status = -1;
    std::string out, err;
};

// The folder this test program was started from.
inline std::string OwnFolder() {
#ifdef _WIN32
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring w(path, n);
    w.erase(w.find_last_of(L"\\/"));
    return Utf16ToUtf8(std::u16string(w.begin(), w.end()));
#else
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    std::string s(path, n > 0 ? static_cast<std::size_t>(n) : 0);
    s.erase(s.find_last_of('/'));
    return s;
#endif
}

#ifdef _WIN32
// One argument as CommandLineToArgvW reads it back.
inline std::wstring Quoted(const std::string& utf8) {
    const std::u16string u = Utf8ToUtf16(utf8);
    const std::wstring arg(u.begin(), u.end());
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring q = L"\"";
    std::size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        q.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        q += c;
    }
    q.append(2 * slashes, L'\\');
    return q + L"\"";
}
#endif

// Runs `args` (the program first) with its output going to files in `folder`.
inline Finished RunProgram(const std::vector<std::string>& args, const std::string& folder) {
    const std::string outPath = JoinPath(folder, "stdout.txt"), errPath = JoinPath(folder, "stderr.txt");
    Finished finished;
#ifdef _WIN32
    const auto wide = [](const std::string& s) {
        const std::u16string u = Utf8ToUtf16(s);
        return std::wstring(u.begin(), u.end());
    };
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto open = [&](const std::string& path) {
        return CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE out = open(outPath), err = open(errPath);
    const HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    std::wstring commandLine;
    for (const std::string& arg : args) commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(arg);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(wide(args.front()).c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                       nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        finished.status = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
#else
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) finished.status = WEXITSTATUS(status);
#endif
    finished.out = ReadWholeFile(outPath).value_or("");
    finished.err = ReadWholeFile(errPath).value_or("");
    return finished;
}

}  // namespace mojian::testing
