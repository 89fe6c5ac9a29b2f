// The start-up gates and the contact buttons against a service of the test's
// own: message boxes are answered and addresses caught instead of opened.
#include "app/gates/StartupGates.h"

#include <gtest/gtest.h>

#include "app/gates/ContactButtons.h"
#include "app/env/Environment.h"
#include "app/gates/GateTexts.h"
#include "base/Gbk.h"
#include "base/Utf_win.h"
#include "service/SettingsExchange.h"
#include "tests/service/FakeHttpServer_win.h"

namespace mojian {
namespace {

using mojian::testing::FakeHttpServer;
namespace texts = gate_texts;

struct Box {
    std::wstring text, title;
    UINT style;
    bool operator==(const Box&) const = default;
};

void PrintTo(const Box& b, std::ostream* os) {
    *os << "{" << Narrow(b.text) << " | " << Narrow(b.title) << " | " << b.style << "}";
}

std::string Answer(const std::vector<std::string>& fields) { return Utf8ToGbk(FormatSettingsAnswer(fields)); }

class GatesTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = CurrentEnvironment();
        Environment& env = CurrentEnvironment();
        env.serviceUrl = server_.Url();
        env.probeUrl = server_.Url("/");
        static int instance = 0;
        env.instanceName = L"MojianGatesTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                           std::to_wstring(++instance);
        env.timeoutMs = 2000;
        env.messageBox = [this](HWND, const std::wstring& text, const std::wstring& title, UINT style) {
            boxes_.push_back({text, title, style});
            return IDOK;
        };
        env.openAddress = [this](const std::string& address) { opened_.push_back(address); };
    }
    void TearDown() override { CurrentEnvironment() = saved_; }

    FakeHttpServer server_;
    std::vector<Box> boxes_;
    std::vector<std::string> opened_;
    Environment saved_;
};

const std::string kDownload = "http://127.0.0.1/下载?v=2";
const std::string kContact = "http://127.0.0.1/联系";

TEST_F(GatesTest, CurrentVersionPassesQuietly) {
    server_.AnswerWith(Answer({"1.0", "", kDownload, "", kContact}));
    EXPECT_TRUE(RunStartupGates(nullptr));
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(opened_.empty());
    EXPECT_EQ(server_.PostCount(), 1);
}

TEST_F(GatesTest, TheFormIsToldHowLongTheNetworkTook) {
    // A server that takes its time: the wait shows on the form, in microseconds.
    server_.AnswerWith(Answer({"1.0", "", kDownload, "", kContact}));
    server_.DelayAnswers(150);
    const HWND form = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(RunStartupGates(form));
    const auto us = reinterpret_cast<UINT_PTR>(GetPropW(form, kNetworkWaitProp));
    EXPECT_GE(us, 150000u);
    EXPECT_LT(us, 10000000u);
    DestroyWindow(form);
}

TEST_F(GatesTest, AnyOtherVersionTextSendsTheUserToTheDownload) {
    for (const std::string version : {"1.00", "1.0 ", "", "1.1", "1.0\t"}) {
        boxes_.clear();
        opened_.clear();
        CurrentEnvironment().instanceName += L"x";  // each start is a first copy
        const int postsBefore = server_.PostCount();
        server_.AnswerWith(Answer({version, "", kDownload, "", kContact}));
        EXPECT_FALSE(RunStartupGates(nullptr)) << version;
        EXPECT_EQ(boxes_, (std::vector<Box>{{texts::kOutdated, texts::kOutdatedTitle, MB_OK}})) << version;
        EXPECT_EQ(opened_, std::vector<std::string>{kDownload}) << version;
        EXPECT_EQ(server_.PostCount() - postsBefore, 2) << version;  // asked again for the address
    }
}

TEST_F(GatesTest, OutdatedWithoutADownloadAddressSaysSoAndStillEnds) {
    server_.AnswerWith(Answer({"0.9", ""}));
    EXPECT_FALSE(RunStartupGates(nullptr));
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, texts::kOutdated);
    EXPECT_EQ(boxes_[1].text, texts::kNoDownloadAddress);
    EXPECT_TRUE(opened_.empty());
}

TEST_F(GatesTest, NoRecordOrNoAnswerStartsNormallyAfterSayingSo) {
    const Box unchecked{texts::kVersionUnchecked, texts::kNotice, MB_OK | MB_ICONINFORMATION};
    for (const std::string& reply : {std::string("no record here"), std::string(), Utf8ToGbk("x" + std::string(kRecordSeparator))}) {
        boxes_.clear();
        CurrentEnvironment().instanceName += L"x";
        server_.AnswerWith(reply);
        EXPECT_TRUE(RunStartupGates(nullptr));
        EXPECT_EQ(boxes_, std::vector<Box>{unchecked});
    }
    // A service that takes the connection and never answers.
    boxes_.clear();
    CurrentEnvironment().instanceName += L"x";
    CurrentEnvironment().timeoutMs = 500;
    server_.NeverAnswer();
    EXPECT_TRUE(RunStartupGates(nullptr));
    EXPECT_EQ(boxes_, std::vector<Box>{unchecked});
    EXPECT_TRUE(opened_.empty());
}

TEST_F(GatesTest, SecondCopyIsRefusedBeforeAnythingElse) {
    server_.AnswerWith(Answer({"1.0", "", kDownload, "", kContact}));
    ASSERT_TRUE(RunStartupGates(nullptr));
    EXPECT_FALSE(RunStartupGates(nullptr));
    EXPECT_EQ(boxes_, (std::vector<Box>{{texts::kAlreadyRunning, texts::kAlreadyRunningTitle, MB_OK | MB_ICONEXCLAMATION}}));
    EXPECT_EQ(server_.PostCount(), 1);  // the second copy asked nothing
    // The lock is the user's own and named after the program.
    const std::wstring name = CurrentEnvironment().instanceName;
    EXPECT_FALSE(RunStartupGates(nullptr));
    CurrentEnvironment().instanceName = name + L"-other";
    EXPECT_TRUE(RunStartupGates(nullptr));
}

TEST_F(GatesTest, NoNetworkEndsBeforeAnyServiceExchange) {
    server_.AnswerWith(Answer({"1.0", "", kDownload, "", kContact}));
    CurrentEnvironment().probeUrl = "http://127.0.0.1:" + std::to_string(mojian::testing::ClosedPort()) + "/";
    EXPECT_FALSE(RunStartupGates(nullptr));
    EXPECT_EQ(boxes_, (std::vector<Box>{{texts::kNoNetwork, texts::kNotice, MB_OK | MB_ICONINFORMATION}}));
    EXPECT_EQ(server_.PostCount(), 0);
}

TEST_F(GatesTest, ContactButtonsOpenTheAddressTheServiceGivesNow) {
    server_.AnswerWith(Answer({"1.0", "", kDownload, "", kContact, "extra"}));
    OpenContactAddress(nullptr);  // 联系客服
    server_.AnswerWith(Answer({"1.0", "", kDownload, "", kContact + "/2"}));
    OpenContactAddress(nullptr);  // 联系代理
    EXPECT_EQ(opened_, (std::vector<std::string>{kContact, kContact + "/2"}));
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(server_.PostCount(), 2);
}

TEST_F(GatesTest, ContactButtonsSayWhenThereIsNoAddress) {
    const Box noContact{texts::kNoContactAddress, texts::kNotice, MB_OK | MB_ICONINFORMATION};
    for (const std::string& reply : {Answer({"1.0", "", kDownload, ""}), Answer({"1.0", "", kDownload, "", ""}),
                                    std::string("garbage")}) {
        boxes_.clear();
        server_.AnswerWith(reply);
        OpenContactAddress(nullptr);
        EXPECT_EQ(boxes_, std::vector<Box>{noContact});
    }
    boxes_.clear();
    CurrentEnvironment().serviceUrl =
        "http://127.0.0.1:" + std::to_string(mojian::testing::ClosedPort()) + "/asp/kwel/index.asp";
    CurrentEnvironment().timeoutMs = 500;
    OpenContactAddress(nullptr);
    EXPECT_EQ(boxes_, std::vector<Box>{noContact});
    EXPECT_TRUE(opened_.empty());
}

}  // namespace
}  // namespace mojian
