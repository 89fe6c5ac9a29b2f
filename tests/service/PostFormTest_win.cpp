#include "service/PostForm.h"

#include <gtest/gtest.h>

#include "base/Gbk.h"
#include "tests/service/FakeHttpServer_win.h"

namespace mojian {
namespace {

using mojian::testing::FakeHttpServer;

TEST(PostForm, SendsTheMethodHeadersAndBodyAsGiven) {
    FakeHttpServer server;
    server.AnswerWith("ok");
    EXPECT_EQ(PostForm(server.Url(), "abcde"), "ok");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.requestLine, "POST /asp/kwel/index.asp HTTP/1.1");
    EXPECT_EQ(r.body, "abcde");
    const std::pair<std::string, std::string> expected[] = {
        {"Accept", "*/*"},
        {"Accept-Language", "zh-cn"},
        {"User-Agent", "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0)"},
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"Referer", ""},
        {"Content-Length", "5"},
        {"Connection", "Keep-Alive"},
        {"Cache-Control", "no-cache"},
    };
    // Each header once with its value; the stack adds Host and the like.
    // Connection is the stack's own to place (Wine's writes it last).
    ASSERT_NE(r.Header("Connection"), nullptr);
    EXPECT_EQ(*r.Header("Connection"), "Keep-Alive");
    std::vector<std::pair<std::string, std::string>> ours;
    for (const auto& h : r.headers) {
        for (const auto& e : expected) {
            if (e.first != "Connection" && _stricmp(h.first.c_str(), e.first.c_str()) == 0)
                ours.emplace_back(e.first, h.second);
        }
    }
    // They go out in the order they were set; Wine's HTTP stack writes its
    // header list back to front, so that order, reversed, counts as well.
    std::vector<std::pair<std::string, std::string>> forward;
    for (const auto& e : expected) {
        if (e.first != "Connection") forward.push_back(e);
    }
    std::vector<std::pair<std::string, std::string>> backward(forward.rbegin(), forward.rend());
    EXPECT_TRUE(ours == forward || ours == backward) << ::testing::PrintToString(ours);
}

TEST(PostForm, DecodesTheAnswerAsGbk) {
    FakeHttpServer server;
    const std::string text = "墨笺いゼ1.0い下载";
    server.AnswerWith(Utf8ToGbk(text));
    EXPECT_EQ(PostForm(server.Url(), "zc=49"), text);
    server.AnswerWith("");
    EXPECT_EQ(PostForm(server.Url(), "zc=49"), "");
    EXPECT_EQ(server.PostCount(), 2);
}

TEST(PostForm, FallsBackToTheSecondRequestObject) {
    FakeHttpServer server;
    server.AnswerWith("ok");
    const wchar_t* const second[] = {L"Mojian.NoSuchRequestObject", L"Microsoft.XMLHTTP", nullptr};
    PostFormOptions options;
    options.progIds = second;
    EXPECT_EQ(PostForm(server.Url(), "abc", options), "ok");
    EXPECT_EQ(server.PostCount(), 1);

    const wchar_t* const none[] = {L"Mojian.NoSuchRequestObject", L"Mojian.NorThisOne", nullptr};
    options.progIds = none;
    EXPECT_EQ(PostForm(server.Url(), "abc", options), "");
    EXPECT_EQ(server.PostCount(), 1);
}

TEST(PostForm, NothingListeningGivesEmptyText) {
    // Wine's request object never completes a refused connection, so this
    // also runs into the limit: keep it short.
    PostFormOptions options;
    options.timeoutMs = 1000;
    EXPECT_EQ(PostForm("http://127.0.0.1:" + std::to_string(mojian::testing::ClosedPort()) + "/asp/kwel/index.asp",
                       "zc=49", options),
              "");
    EXPECT_EQ(PostForm("not an address", "zc=49", options), "");
}

int g_ticks = 0;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) { ++g_ticks; }

TEST(PostForm, ServerThatNeverAnswersIsGivenUpWhileTheWindowKeepsWorking) {
    FakeHttpServer server;
    server.NeverAnswer();
    g_ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CountTick);
    PostFormOptions options;
    options.timeoutMs = 1000;
    EXPECT_EQ(PostForm(server.Url(), "zc=49", options), "");
    KillTimer(nullptr, timer);
    EXPECT_GT(g_ticks, 0);  // timer messages were dispatched during the wait
    EXPECT_EQ(server.PostCount(), 1);
}

TEST(PostForm, QuitDuringTheWaitEndsItAndIsKeptForTheMessageLoop) {
    FakeHttpServer server;
    server.NeverAnswer();
    PostQuitMessage(7);
    PostFormOptions options;
    options.timeoutMs = 5000;
    EXPECT_EQ(PostForm(server.Url(), "zc=49", options), "");
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7u);
}

}  // namespace
}  // namespace mojian
