// The real Mojian.exe in processes of its own under Wine, against a settings
// service of the test's on the address the program is built to ask: a run
// killed in the middle of a burst of work is offered for restore at the next
// start and gives back the page as it stood at most a second before the
// kill; a file given to a second start opens in the first.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/Clipboard_win.h"
#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "base/File.h"
#include "base/Gbk.h"
#include "base/Scoped_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "project/ProjectFile.h"
#include "service/SettingsExchange.h"
#include "service/SettingsQuery.h"
#include "tests/TempFolder.h"
#include "tests/app/OtherProcess_win.h"
#include "tests/service/FakeHttpServer_win.h"

namespace mojian::testing {
namespace {

using namespace form1;
using Clock = std::chrono::steady_clock;

constexpr int kServicePort = MOJIAN_SERVICE_PORT;

// The service the program asks at start: ours on its port, or one that
// already answers there as the program needs (`make run` on this machine).
class Service {
public:
    Service() {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        for (;;) {
            server_ = std::make_unique<FakeHttpServer>(kServicePort);
            if (server_->Listening()) {
                server_->AnswerWith(Utf8ToGbk(FormatSettingsAnswer({"1.0", "", "", "", ""})));
                return;
            }
            server_.reset();
            PostFormOptions options;
            options.timeoutMs = 3000;
            const auto record = QuerySystemSettings(
                "http://127.0.0.1:" + std::to_string(kServicePort) + "/asp/kwel/index.asp", options);
            if (!record.empty() && record[0] == "1.0") return;
            if (Clock::now() > deadline) break;
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        failure_ = "port " + std::to_string(kServicePort) + " is held by something that is not the settings service";
    }
    const std::string& Failure() const { return failure_; }

private:
    std::unique_ptr<FakeHttpServer> server_;
    std::string failure_;
};

struct ChildSearch {
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK FindChild(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<ChildSearch*>(lp);
    if (GetDlgCtrlID(hwnd) != search->id) return TRUE;
    search->found = hwnd;
    return FALSE;
}

std::string TextOf(HWND hwnd) {
    wchar_t text[2048] = {};
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
    return Narrow(text);
}

BOOL CALLBACK CollectText(HWND hwnd, LPARAM lp) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    if (_wcsicmp(cls, L"Static") == 0) *reinterpret_cast<std::string*>(lp) += TextOf(hwnd);
    return TRUE;
}

// One run of the program with its own program folder and user folder.
class Program {
public:
    Program(const std::wstring& exe, const std::wstring& localAppData, const std::wstring& argument = {}) {
        // The user's folder comes from the environment the child inherits.
        SetEnvironmentVariableW(L"LOCALAPPDATA", localAppData.c_str());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring commandLine = L"\"" + exe + L"\"";
        if (!argument.empty()) commandLine += L" \"" + argument + L"\"";
        PROCESS_INFORMATION pi{};
        started_ = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                                  &pi) != 0;
        if (!started_) return;
        process_.reset(pi.hProcess);
        KernelHandle thread(pi.hThread);
        pid_ = pi.dwProcessId;
    }
    ~Program() {
        if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) Kill();
    }

    bool Started() const { return started_; }
    void Kill() {
        TerminateProcess(process_.get(), 1);
        WaitForSingleObject(process_.get(), 30000);
    }
    // Waits for the process to end; its exit code, or nothing after `ms`.
    std::optional<DWORD> Ended(DWORD ms) const {
        if (WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        GetExitCodeProcess(process_.get(), &code);
        return code;
    }
    // A shown top-level window of the process, of class `cls`.
    HWND Window(const wchar_t* cls, DWORD ms = 60000) const {
        const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
        do {
            if (const HWND found = ShownWindowOf(pid_, cls)) return found;
            if (WaitForSingleObject(process_.get(), 20) == WAIT_OBJECT_0) return nullptr;
        } while (Clock::now() < deadline);
        return nullptr;
    }
    HWND Form() const { return Window(L"MojianForm1"); }
    // The text and title of the message box the process shows now.
    static std::pair<std::string, std::string> BoxText(HWND box) {
        std::string text;
        EnumChildWindows(box, &CollectText, reinterpret_cast<LPARAM>(&text));
        return {TextOf(box), text};
    }

private:
    bool started_ = false;
    KernelHandle process_;
    DWORD pid_ = 0;
};

HWND Control(HWND form, int id) {
    ChildSearch search{id};
    EnumChildWindows(form, &FindChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Answers a message box by its button and waits for it to go.
void Answer(HWND box, int button) {
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (IsWindow(box) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// 复制代码 in the other process: what it put on the clipboard, its box closed.
std::string CopyFrom(const Program& program, HWND form) {
    EmptyClipboardText(nullptr);
    PostMessageW(Control(form, kCopyButton), BM_CLICK, 0, 0);
    const HWND box = program.Window(L"#32770", 30000);
    if (!box) return "<no copy message>";
    const std::string copied = ClipboardText(nullptr).value_or("<nothing copied>");
    Answer(box, IDOK);
    return copied;
}

class MojianProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(service_.Failure(), "");
        exe_ = JoinPath(folder_.Utf8(), "Mojian.exe");
        ASSERT_TRUE(CopyFileW(WindowsPath(MOJIAN_EXE).c_str(), Wide(exe_).c_str(), FALSE));
        local_ = JoinPath(folder_.Utf8(), "local");
        ASSERT_TRUE(CreateFolder(local_));
    }
    std::unique_ptr<Program> Start(const std::string& argument = {}) {
        return std::make_unique<Program>(Wide(exe_), Wide(local_), Wide(argument));
    }

    Service service_;
    TempFolder folder_;
    std::string exe_, local_;
};

// The page as the test drove it, with when each state began.
struct Recorded {
    Clock::time_point since;
    std::string html;
};

TEST_F(MojianProcessTest, AKilledRunIsOfferedForRestoreAndLosesAtMostTheLastSecond) {
    auto program = Start();
    ASSERT_TRUE(program->Started());
    const HWND form = program->Form();
    ASSERT_NE(form, nullptr) << "the program showed no window";
    const auto send = [&](int id, UINT msg, WPARAM wp = 0, LPARAM lp = 0) {
        return SendMessageW(Control(form, id), msg, wp, lp);
    };

    // The same work on a page of the test's own, recorded as it happens.
    Composition mirror;
    std::vector<Recorded> states{{Clock::now(), ""}};
    std::mt19937 random(7);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto driveFor = std::chrono::milliseconds(2500 + pick(2000));
    const auto began = Clock::now();
    while (Clock::now() - began < driveFor) {
        if (mirror.Lines().empty() || pick(3) > 0) {
            const int kind = 1 + pick(kKindCount - 1);
            const int style = pick(kStyleCounts[static_cast<std::size_t>(kind)]);
            send(kKindOptions + kind, BM_CLICK);
            send(kStyleOptions + style, BM_CLICK);
            send(kAddButton, BM_CLICK);
            mirror.AddBuiltIn(kind, style);
        } else {
            // a line chosen, its block into the editor, a character typed at its end
            const int line = pick(static_cast<int>(mirror.Lines().size()));
            send(kList, LB_SETCURSEL, static_cast<WPARAM>(line));
            SendMessageW(form, WM_COMMAND, MAKEWPARAM(kList, LBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(Control(form, kList)));
            send(kEditCodeButton, BM_CLICK);
            const auto end = static_cast<WPARAM>(send(kEditor, WM_GETTEXTLENGTH));
            send(kEditor, EM_SETSEL, end, static_cast<LPARAM>(end));
            const char typed = static_cast<char>('a' + pick(26));
            send(kEditor, WM_CHAR, static_cast<WPARAM>(typed));
            mirror.Select(line);
            const ResolvedEntry entry = ResolveEntry(mirror.SelectedName());
            mirror.WriteThroughSelected(mirror.GetBlock(entry.kind, entry.style) + typed, false);
        }
        states.push_back({Clock::now(), mirror.PageHtml()});
        std::this_thread::sleep_for(std::chrono::milliseconds(pick(60)));
    }
    const auto killedAt = Clock::now();
    program->Kill();

    program = Start();
    const HWND offer = program->Window(L"#32770");
    ASSERT_NE(offer, nullptr) << "no restore offer";
    const auto [title, text] = Program::BoxText(offer);
    EXPECT_EQ(title, "温馨提示");
    EXPECT_NE(text.find("是否恢复上次的排版？"), std::string::npos) << text;
    Answer(offer, IDYES);
    const HWND restoredForm = program->Form();
    ASSERT_NE(restoredForm, nullptr);
    const std::string restored = CopyFrom(*program, restoredForm);
    ASSERT_FALSE(restored.empty());

    // The newest state the restored page equals began before the kill and
    // lasted into the last second before it.
    constexpr auto kAllowed = std::chrono::milliseconds(1000);
    // The writer's own moment on a busy machine: handing over, writing,
    // replacing the file.
    constexpr auto kWriting = std::chrono::milliseconds(500);
    std::optional<std::size_t> match;
    for (std::size_t i = states.size(); i-- > 0;)
        if (states[i].html == restored) {
            match = i;
            break;
        }
    ASSERT_TRUE(match.has_value()) << "the restored page is none the test made";
    const auto endedAt = *match + 1 < states.size() ? states[*match + 1].since : killedAt;
    EXPECT_GE(endedAt, killedAt - kAllowed - kWriting)
        << "restored a page " << std::chrono::duration_cast<std::chrono::milliseconds>(killedAt - endedAt).count()
        << " ms older than the kill (state " << *match << " of " << states.size() - 1 << ")";
    program->Kill();
}

TEST_F(MojianProcessTest, AFileGivenToASecondStartOpensInTheFirst) {
    PageData first, second;
    first.lines = {"五分好评-样式1"};
    second.lines = {"尺码表格-样式4", "自定义源码-1"};
    second.customSources = {{1, "<p>交给第一个</p>"}};
    const std::string firstFile = JoinPath(folder_.Utf8(), "第一个.mojian");
    const std::string secondFile = JoinPath(folder_.Utf8(), "第二个.mojian");
    ASSERT_FALSE(project::SaveProjectFile(firstFile, first).has_value());
    ASSERT_FALSE(project::SaveProjectFile(secondFile, second).has_value());

    // the command line's file opens once the window is up
    auto running = Start(firstFile);
    const HWND form = running->Form();
    ASSERT_NE(form, nullptr);
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (TextOf(form) != "墨笺 - 第一个.mojian" && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(TextOf(form), "墨笺 - 第一个.mojian");

    // a second start with a file hands it over and ends without a word
    auto handing = Start(secondFile);
    const auto code = handing->Ended(60000);
    ASSERT_TRUE(code.has_value()) << "the second start did not end";
    EXPECT_EQ(*code, 0u);
    while (TextOf(form) != "墨笺 - 第二个.mojian" && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(TextOf(form), "墨笺 - 第二个.mojian");
    EXPECT_EQ(CopyFrom(*running, form), BuiltInLibrary().Get(2, 3) + "<p>交给第一个</p>\r\n");

    // a second start without a file is refused as ever
    auto third = Start();
    const HWND refusal = third->Window(L"#32770");
    ASSERT_NE(refusal, nullptr);
    const auto [title, text] = Program::BoxText(refusal);
    EXPECT_EQ(title, "提示");
    EXPECT_EQ(text, "程序已经运行,不能再次装载！");
    Answer(refusal, IDOK);
    EXPECT_TRUE(third->Ended(30000).has_value());
    running->Kill();
}

}  // namespace
}  // namespace mojian::testing
