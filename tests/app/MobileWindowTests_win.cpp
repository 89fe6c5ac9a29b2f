// 文件 → 生成手机详情… through the real Form1 and its dialog under Wine,
// with a fake maker: what reaches the maker, progress and 取消, closing
// while it works, and the questions on the way (the check's errors, an
// existing folder, pictures that failed).
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "DialogScript_win.h"
#include "Form1Harness_win.h"
#include "ScriptedEnvironment_win.h"
#include "app/CommandIds.h"

namespace mojian::testing {
namespace {

using mobile::MakeOutcome;
using mobile::MakeRequest;
using mobile::MakeStage;

constexpr char kCleanLine[] = "<p>纯棉面料，亲肤透气，机洗不变形。</p>";
constexpr char kClickLine[] = R"~(<a href="https://shop.taobao.com/" onclick="go()">进店看看</a>)~";

// Called on the dialog's worker; the test reads what it kept once the run
// ended (or through the atomics while it runs).
struct FakeMaker {
    std::vector<MakeRequest> requests;
    std::function<MakeOutcome(const MakeRequest&, std::size_t call)> answer;
    std::atomic<bool> sawCancel{false}, finished{false};
};

MakeOutcome Made(const MakeRequest& r) {
    MakeOutcome o;
    o.pack.ok = true;
    o.pack.folder = r.folder;
    o.pack.pieces = {{"01.jpg", 0, r.outputWidth, 1546, 400 * 1024, mobile::Format::Jpeg, 90},
                     {"02.jpg", 1546, r.outputWidth, 300, 50 * 1024, mobile::Format::Jpeg, 95}};
    o.pack.areas = {{mobile::HotArea{}}, {}};
    return o;
}

// Runs until cancelled (or ten seconds), having reached the encoding.
MakeOutcome UntilCancelled(const MakeRequest& r, FakeMaker& m) {
    r.progress(MakeStage::Pictures, 1.0);
    r.progress(MakeStage::Encoding, 0.5);
    const DWORD start = GetTickCount();
    while (!r.cancel->load() && GetTickCount() - start < 10000) Sleep(5);
    m.sawCancel = r.cancel->load();
    MakeOutcome o;
    o.pack.cancelled = m.sawCancel;
    return o;
}

class MobileWindowTest : public Form1Test {
protected:
    void Configure(Form1Options& options) override {
        options.makeMobile = [m = maker](const MakeRequest& r) {
            m->requests.push_back(r);
            MakeOutcome o = m->answer ? m->answer(r, m->requests.size() - 1) : Made(r);
            m->finished = true;
            return o;
        };
    }
    void CleanPage() {
        SetCustomSource(1, kCleanLine);
        AddLines("自定义源码-1", 3);
    }
    // The dialog opened from the menu, `script` run in it; whether it opened.
    bool InDialog(const std::function<void(HWND)>& script) {
        DialogScript run(script);
        Menu(IDM_MOBILE);
        return run.Ran();
    }
    static std::string Text(HWND dialog, int id) { return GetText(GetDlgItem(dialog, id)); }
    static bool Until(const std::function<bool()>& done) {
        const DWORD start = GetTickCount();
        while (!done()) {
            if (GetTickCount() - start > 10000) return false;
            DialogScript::PumpFor(5);
        }
        return true;
    }
    // 生成 pressed with a folder typed, and the run waited for.
    static void Make(HWND dialog, const std::string& folder) {
        DialogScript::TypeOver(GetDlgItem(dialog, IDC_MOBILE_FOLDER), folder);
        DialogScript::Press(dialog, IDC_MOBILE_MAKE);
        EXPECT_TRUE(Until([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_MOBILE_MAKE)) != FALSE; }));
    }
    std::string Target() const { return JoinPath(Folder().Utf8(), "春装-手机详情"); }

    std::shared_ptr<FakeMaker> maker = std::make_shared<FakeMaker>();
    ScriptedEnvironment env;
};

TEST_F(MobileWindowTest, AnEmptyPageIsRefusedAndTheDialogOpensWithTheRulesDefaults) {
    EXPECT_FALSE(InDialog([](HWND) {}));
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].text, "排版列表是空的，还没有可以生成手机详情的内容。");

    CleanPage();
    env.folders = {"C:\\店铺"};
    EXPECT_TRUE(InDialog([&](HWND d) {
        EXPECT_EQ(IsDlgButtonChecked(d, IDC_MOBILE_W750), BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(d, IDC_MOBILE_AUTO), BST_CHECKED);
        EXPECT_EQ(Text(d, IDC_MOBILE_HEIGHT), "1546");
        EXPECT_EQ(Text(d, IDC_MOBILE_COLUMN), "页面栏宽 750（淘宝）");
        EXPECT_EQ(Text(d, IDC_MOBILE_FOLDER), "") << "a page never saved: the seller chooses";
        // Nothing runs on options out of bounds; the message says why.
        DialogScript::Press(d, IDC_MOBILE_MAKE);
        DialogScript::TypeOver(GetDlgItem(d, IDC_MOBILE_HEIGHT), "2000");
        DialogScript::Press(d, IDC_MOBILE_BROWSE);
        EXPECT_EQ(Text(d, IDC_MOBILE_FOLDER), "C:\\店铺\\手机详情") << "the folder picked holds the pictures' folder";
        DialogScript::Press(d, IDC_MOBILE_MAKE);
    }));
    ASSERT_EQ(env.boxes.size(), 3u);
    EXPECT_EQ(env.boxes[1].text, "请选择保存图片的文件夹（点“浏览…”）。");
    EXPECT_NE(env.boxes[2].text.find("1546"), std::string::npos) << env.boxes[2].text;
    EXPECT_TRUE(maker->requests.empty());

    // Ctrl+M from the list opens it too; in the code editor it stays the box's.
    for (const auto& [target, opens] : {std::pair{List(), true}, std::pair{C(form1::kEditor), false}}) {
        DialogScript run([](HWND) {});
        PressCtrl(target, 'M');
        EXPECT_EQ(run.Ran(), opens);
    }
}

TEST_F(MobileWindowTest, TheOptionsAndThePageReachTheMakerAndWhatWasMadeIsShown) {
    Menu(IDM_WIDTH_TMALL);
    CleanPage();
    EXPECT_TRUE(InDialog([&](HWND d) {
        EXPECT_EQ(Text(d, IDC_MOBILE_COLUMN), "页面栏宽 790（天猫）");
        CheckRadioButton(d, IDC_MOBILE_W750, IDC_MOBILE_W1242, IDC_MOBILE_W1242);
        CheckRadioButton(d, IDC_MOBILE_AUTO, IDC_MOBILE_PNG, IDC_MOBILE_PNG);
        DialogScript::TypeOver(GetDlgItem(d, IDC_MOBILE_HEIGHT), "1200");
        Make(d, Target());
        const HWND list = GetDlgItem(d, IDC_MOBILE_PIECES);
        ASSERT_EQ(DialogScript::Rows(list), 2);
        EXPECT_EQ(DialogScript::Cell(list, 0, 0), "01.jpg");
        EXPECT_EQ(DialogScript::Cell(list, 0, 1), "1242 × 1546");
        EXPECT_EQ(DialogScript::Cell(list, 0, 2), "400 KB");
        EXPECT_EQ(DialogScript::Cell(list, 0, 3), "1");
        EXPECT_EQ(Text(d, IDC_MOBILE_STAGE), "完成");
        EXPECT_EQ(Text(d, IDC_MOBILE_RESULT), "已生成 2 张图片（共 450 KB），1 个热区，保存在 " + Target());
        // The options come back one by one after the run; every one of them, and 取消 goes.
        for (int id : {IDC_MOBILE_W750, IDC_MOBILE_W1242, IDC_MOBILE_AUTO, IDC_MOBILE_JPEG, IDC_MOBILE_PNG,
                       IDC_MOBILE_HEIGHT, IDC_MOBILE_FOLDER, IDC_MOBILE_BROWSE})
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, id))) << id;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_MOBILE_STOP)));
        DialogScript::Press(d, IDC_MOBILE_OPEN);
    }));
    ASSERT_EQ(maker->requests.size(), 1u);
    const MakeRequest& r = maker->requests[0];
    EXPECT_EQ(r.pageHtml, Page().PageHtml());
    EXPECT_EQ(r.lineOffsets.size(), 3u);
    EXPECT_EQ(r.column, DescriptionWidth::Tmall);
    EXPECT_EQ(r.outputWidth, 1242);
    EXPECT_EQ(r.format, mobile::FormatChoice::Png);
    EXPECT_EQ(r.maxHeight, 1200);
    EXPECT_EQ(r.folder, Target());
    EXPECT_FALSE(r.overwrite);
    EXPECT_FALSE(r.goOnWithBrokenPictures);
    EXPECT_EQ(env.openedFolders, std::vector<std::string>{Target()});
}

// Many pieces come into the list a few rows per message: all of them, in order.
TEST_F(MobileWindowTest, EveryPieceIsListed) {
    CleanPage();
    maker->answer = [](const MakeRequest& r, std::size_t) {
        MakeOutcome o = Made(r);
        for (int i = 3; i <= 9; ++i)
            o.pack.pieces.push_back({"0" + std::to_string(i) + ".jpg", 0, r.outputWidth, 100, 1024, mobile::Format::Jpeg, 90});
        o.pack.areas.resize(o.pack.pieces.size());
        return o;
    };
    EXPECT_TRUE(InDialog([&](HWND d) {
        Make(d, Target());
        const HWND list = GetDlgItem(d, IDC_MOBILE_PIECES);
        EXPECT_TRUE(Until([&] { return DialogScript::Rows(list) == 9; })) << DialogScript::Rows(list);
        EXPECT_EQ(DialogScript::Cell(list, 8, 0), "09.jpg");
    }));
}

TEST_F(MobileWindowTest, ProgressIsShownWhileTheWindowAnswersAndCancelStopsTheRun) {
    CleanPage();
    maker->answer = [m = maker.get()](const MakeRequest& r, std::size_t) { return UntilCancelled(r, *m); };
    EXPECT_TRUE(InDialog([&](HWND d) {
        DialogScript::TypeOver(GetDlgItem(d, IDC_MOBILE_FOLDER), Target());
        DialogScript::Press(d, IDC_MOBILE_MAKE);
        ASSERT_TRUE(Until([&] { return Text(d, IDC_MOBILE_STAGE) == "编码…"; })) << Text(d, IDC_MOBILE_STAGE);
        EXPECT_EQ(SendMessageW(GetDlgItem(d, IDC_MOBILE_PROGRESS), PBM_GETPOS, 0, 0), 625);  // the third of four stages, half done
        for (int id : {IDC_MOBILE_W750, IDC_MOBILE_W1242, IDC_MOBILE_AUTO, IDC_MOBILE_JPEG, IDC_MOBILE_PNG,
                       IDC_MOBILE_HEIGHT, IDC_MOBILE_FOLDER, IDC_MOBILE_BROWSE, IDC_MOBILE_MAKE})
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, id))) << id;
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_MOBILE_STOP)));
        DialogScript::Press(d, IDC_MOBILE_STOP);
        ASSERT_TRUE(Until([&] { return IsWindowEnabled(GetDlgItem(d, IDC_MOBILE_MAKE)) != FALSE; }));
        EXPECT_EQ(Text(d, IDC_MOBILE_STAGE), "已取消");
        EXPECT_EQ(Text(d, IDC_MOBILE_RESULT), "已取消，没有留下任何文件。");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_MOBILE_OPEN)));
    }));
    EXPECT_TRUE(maker->sawCancel);

    // Closed while it works: cancelled, and the dialog waits for the worker.
    maker->sawCancel = false;
    maker->finished = false;
    EXPECT_TRUE(InDialog([&](HWND d) {
        DialogScript::TypeOver(GetDlgItem(d, IDC_MOBILE_FOLDER), Target());
        DialogScript::Press(d, IDC_MOBILE_MAKE);
        ASSERT_TRUE(Until([&] { return Text(d, IDC_MOBILE_STAGE) == "编码…"; }));
        DialogScript::Press(d, IDCANCEL);
        EXPECT_TRUE(maker->finished) << "the worker ended before the dialog did";
    }));
    EXPECT_TRUE(maker->sawCancel);
    EXPECT_TRUE(maker->finished);
}

TEST_F(MobileWindowTest, AnExistingFolderIsReplacedOnlyWhenTheSellerSaysSo) {
    CleanPage();
    ASSERT_TRUE(CreateDirectoryW(Wide(Target()).c_str(), nullptr));
    env.boxAnswers = {IDNO, IDYES};
    EXPECT_TRUE(InDialog([&](HWND d) {
        DialogScript::TypeOver(GetDlgItem(d, IDC_MOBILE_FOLDER), Target());
        DialogScript::Press(d, IDC_MOBILE_MAKE);
        EXPECT_TRUE(maker->requests.empty());
        Make(d, Target());
    }));
    ASSERT_EQ(env.boxes.size(), 2u);
    EXPECT_EQ(env.boxes[0].text, "文件夹“" + Target() + "”已经存在。\r\n\r\n要用这次生成的图片替换它吗？里面原有的文件将被删除。");
    ASSERT_EQ(maker->requests.size(), 1u);
    EXPECT_TRUE(maker->requests[0].overwrite);
}

TEST_F(MobileWindowTest, PicturesThatFailedAreListedAndTheSellerChoosesToGoOnWithBrokenBoxes) {
    CleanPage();
    maker->answer = [](const MakeRequest& r, std::size_t) {
        if (r.goOnWithBrokenPictures) {
            MakeOutcome o = Made(r);
            o.failedPictures = {"https://img.example.com/a.jpg"};
            return o;
        }
        MakeOutcome o;
        o.stoppedForPictures = true;
        o.failedPictures = {"https://img.example.com/a.jpg"};
        return o;
    };
    struct Case {
        int answer;
        std::size_t runs, rows;
        std::string said;
    } cases[] = {{IDYES, 2, 2, "1 张图片无法载入，以空白方框代替。"}, {IDNO, 1, 0, "有 1 张图片无法载入，没有生成。"}};
    for (const Case& c : cases) {
        maker->requests.clear();
        env.boxes.clear();
        env.boxAnswers = {c.answer};
        EXPECT_TRUE(InDialog([&](HWND d) {
            Make(d, Target());
            EXPECT_EQ(DialogScript::Rows(GetDlgItem(d, IDC_MOBILE_PIECES)), static_cast<int>(c.rows));
            EXPECT_NE(Text(d, IDC_MOBILE_RESULT).find(c.said), std::string::npos) << Text(d, IDC_MOBILE_RESULT);
        }));
        ASSERT_EQ(env.boxes.size(), 1u);
        EXPECT_NE(env.boxes[0].text.find("https://img.example.com/a.jpg"), std::string::npos);
        ASSERT_EQ(maker->requests.size(), c.runs);
        EXPECT_EQ(maker->requests.back().goOnWithBrokenPictures, c.runs == 2);
    }
}

TEST_F(MobileWindowTest, ThePublishChecksErrorsComeFirstAndTheSellerDecides) {
    SetCustomSource(1, kClickLine);
    AddLine("自定义源码-1");
    // 否 opens the check's report instead (a dialog too, so the script runs in it).
    struct Case {
        int answer;
        std::string opened;
    } cases[] = {{IDNO, "发布检查"}, {IDCANCEL, ""}, {IDYES, "生成手机详情"}};
    for (const Case& c : cases) {
        env.boxes.clear();
        env.boxAnswers = {c.answer};
        DialogScript run([](HWND) {});
        Menu(IDM_MOBILE);
        EXPECT_EQ(run.Ran() ? run.Title() : "", c.opened);
        ASSERT_EQ(env.boxes.size(), 1u);
        EXPECT_EQ(env.boxes[0].text.rfind("发布检查发现这一页有 1 个错误", 0), 0u) << env.boxes[0].text;
    }
}

}  // namespace
}  // namespace mojian::testing
