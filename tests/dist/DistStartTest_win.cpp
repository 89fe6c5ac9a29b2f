// The download as a seller first runs it: the program unpacked into a fresh
// folder starts under Wine, asks the settings service at the address it was
// built for, passes its gates and shows its window with its own icon; the
// mojian command beside it lists the ninety blocks.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "base/Gbk.h"
#include "base/Scoped_win.h"
#include "catalogue/Catalogue.h"
#include "service/SettingsExchange.h"
#include "tests/service/FakeHttpServer_win.h"

namespace mojian::testing {
namespace {

using Clock = std::chrono::steady_clock;

// The build gives a Unix path; Wine shows the root of it as drive Z.
std::wstring Folder() {
    std::wstring path = L"Z:" + Wide(MOJIAN_DIST_FOLDER);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

struct Search {
    DWORD pid;
    HWND found = nullptr;
};

BOOL CALLBACK FindForm(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (pid != search->pid || wcscmp(cls, L"MojianForm1") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

struct Started {
    KernelHandle process;
    DWORD pid = 0;
};

Started Start(const std::wstring& exe, std::wstring commandLine, HANDLE output = nullptr) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (output) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = output;
        si.hStdError = output;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION pi{};
    Started started;
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                        Folder().c_str(), &si, &pi))
        return started;
    CloseHandle(pi.hThread);
    started.process.reset(pi.hProcess);
    started.pid = pi.dwProcessId;
    return started;
}

TEST(DistStart, TheUnpackedProgramPassesItsGatesAgainstItsServiceAndShowsItsWindow) {
    FakeHttpServer service(MOJIAN_DIST_PORT);
    ASSERT_TRUE(service.Listening()) << "port " << MOJIAN_DIST_PORT << " is in use";
    service.AnswerWith(Utf8ToGbk(FormatSettingsAnswer({"1.0", "", "", "", ""})));

    const std::wstring exe = Folder() + L"\\墨笺.exe";
    Started program = Start(exe, L"\"" + exe + L"\"");
    ASSERT_TRUE(program.process) << "the program did not start: error " << GetLastError();

    Search search{program.pid};
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!search.found && Clock::now() < deadline) {
        if (WaitForSingleObject(program.process.get(), 0) == WAIT_OBJECT_0) break;
        EnumWindows(FindForm, reinterpret_cast<LPARAM>(&search));
        if (!search.found) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    const HWND form = search.found;
    EXPECT_NE(form, nullptr) << "no main window within a minute";
    int asked = 0;
    for (const auto& request : service.Requests())
        asked += request.requestLine.rfind("POST /asp/kwel/index.asp ", 0) == 0;
    EXPECT_GE(asked, 1) << "the program did not ask the address it was built for";
    if (form) {
        // The caption is set once the gates have let the program in.
        wchar_t title[64] = {};
        GetWindowTextW(form, title, 64);
        EXPECT_STREQ(title, L"墨笺");
    }
    TerminateProcess(program.process.get(), 0);
    WaitForSingleObject(program.process.get(), 10000);
}

// The icon Explorer, the title bar and the task bar take: resource 1, with a
// picture drawn for each size Windows asks for.
TEST(DistStart, TheUnpackedProgramCarriesItsIconInEverySize) {
    const std::wstring exe = Folder() + L"\\墨笺.exe";
    const HMODULE image = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(image, nullptr);
    std::vector<int> sizes;
    if (HRSRC group = FindResourceW(image, MAKEINTRESOURCEW(1), RT_GROUP_ICON)) {
        const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(image, group)));
        const WORD count = *reinterpret_cast<const WORD*>(bytes + 4);
        for (WORD i = 0; i < count; ++i) {
            const BYTE width = bytes[6 + 14 * i];  // GRPICONDIRENTRY.bWidth; 0 means 256
            sizes.push_back(width ? width : 256);
        }
    }
    FreeLibrary(image);
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<int>{16, 24, 32, 48, 256}));
}

TEST(DistStart, TheMojianCommandBesideItListsTheNinetyBlocks) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    KernelHandle reader(readEnd), writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    const std::wstring exe = Folder() + L"\\mojian.exe";
    Started command = Start(exe, L"mojian blocks", writeEnd);
    ASSERT_TRUE(command.process) << "mojian.exe did not start: error " << GetLastError();
    writer.reset();  // the pipe ends when the command's copy closes

    std::string output;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
    ASSERT_EQ(WaitForSingleObject(command.process.get(), 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(command.process.get(), &code);
    EXPECT_EQ(code, 0u);

    std::string expected;
    for (int kind = 0; kind < kKindCount; ++kind)
        for (int style = 0; style < kStyleCounts[kind]; ++style) expected += EntryName(kind, style) + "\n";
    std::string lines;
    for (char c : output)
        if (c != '\r') lines += c;
    EXPECT_EQ(lines, expected);
}

}  // namespace
}  // namespace mojian::testing
