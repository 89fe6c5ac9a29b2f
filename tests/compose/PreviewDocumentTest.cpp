#include "compose/PreviewBrowser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mojian {
namespace {

// A model preview that records what its owner would see.
struct Recorder {
    ModelPreview preview;
    int changes = 0;
    int navigations = 0;
    int completions = 0;
    Recorder() {
        preview.SetOnChanged([this] { ++changes; });
        preview.SetOnNavigate([this] { ++navigations; });
        preview.SetOnDownloadComplete([this] { ++completions; });
    }
};

TEST(PreviewDocument, WritelnOnAFreshBlankPageStartsTheDocumentThenAppends) {
    Recorder r;
    r.preview.Navigate("about:blank");
    EXPECT_TRUE(r.preview.NavigationPending());
    r.preview.CompleteNavigation();
    EXPECT_TRUE(r.preview.Document().IsFreshBlank());
    EXPECT_EQ(r.completions, 1);

    r.preview.Writeln("A");
    r.preview.Writeln("B");
    EXPECT_EQ(r.preview.Document().Source(), "A\r\nB\r\n");
    EXPECT_TRUE(r.preview.Document().IsOpen());  // left open: later calls keep appending
    r.preview.Writeln("");
    EXPECT_EQ(r.preview.Document().Source(), "A\r\nB\r\n\r\n");
}

TEST(PreviewDocument, AWriteWaitsForThePendingBlankLoadInsteadOfLandingInTheOldPage) {
    Recorder r;
    r.preview.Navigate("about:blank");
    r.preview.CompleteNavigation();
    r.preview.Writeln("old page");

    r.preview.Navigate("about:blank");  // as ClearPreview does
    EXPECT_EQ(r.preview.Document().Source(), "old page\r\n");  // still shown until the load completes
    r.preview.Writeln("new");
    EXPECT_FALSE(r.preview.NavigationPending());
    EXPECT_EQ(r.preview.Document().Source(), "new\r\n");
    EXPECT_EQ(r.completions, 2);
    EXPECT_EQ(r.navigations, 2);

    // a completion that arrives later from the message loop changes nothing
    const int changes = r.changes;
    r.preview.CompleteNavigation();
    EXPECT_EQ(r.completions, 2);
    EXPECT_EQ(r.changes, changes);
    EXPECT_EQ(r.preview.Document().Source(), "new\r\n");
}

TEST(PreviewDocument, FramedPreviewReplacesTheWholeDocument) {
    Recorder r;
    r.preview.Writeln("start-up block");
    WriteFramedPreview(r.preview, "<b>mine</b>\r\n");
    const PreviewDocument& d = r.preview.Document();
    EXPECT_EQ(d.Source(),
              "<HTML>\r\n<HEAD>\r\n<TITLE>\r\nNew Document\r\n</TITLE>\r\n</HEAD>\r\n<BODY>\r\n"
              "<b>mine</b>\r\n\r\n</BODY>\r\n</HTML>\r\n");
    EXPECT_EQ(d.Title(), "New Document");
    EXPECT_FALSE(d.IsOpen());

    // an empty text leaves one empty line in the body: the break after
    // <BODY>, then the empty line's own
    WriteFramedPreview(r.preview, "");
    EXPECT_EQ(r.preview.Document().Body(), "\r\n\r\n");
    EXPECT_EQ(r.preview.Document().Title(), "New Document");

    // a writeln after Close starts a new document, as the DOM does
    r.preview.Writeln("x");
    EXPECT_EQ(r.preview.Document().Source(), "x\r\n");
}

TEST(PreviewDocument, InnerHtmlReplacesTheBodyAndKeepsTheTitle) {
    Recorder r;
    WriteFramedPreview(r.preview, "custom");
    r.preview.SetBodyInnerHtml("<table>block</table>");
    const PreviewDocument& d = r.preview.Document();
    EXPECT_EQ(d.Title(), "New Document");
    EXPECT_EQ(d.Body(), "<table>block</table>");
    EXPECT_EQ(d.Source().find("custom"), std::string::npos);

    r.preview.SetBodyInnerHtml("second");
    EXPECT_EQ(d.Body(), "second");
    EXPECT_EQ(d.Title(), "New Document");
}

TEST(PreviewDocument, InnerHtmlOnABareFragmentOrABlankPageGivesItABody) {
    Recorder r;
    r.preview.Navigate("about:blank");
    r.preview.Writeln("<table>start-up</table>");  // written without a body element
    r.preview.SetBodyInnerHtml("chosen");
    EXPECT_EQ(r.preview.Document().Body(), "chosen");
    EXPECT_EQ(r.preview.Document().Source().find("start-up"), std::string::npos);
    EXPECT_EQ(r.preview.Document().Title(), "");

    PreviewDocument blank;
    blank.LoadBlank();
    blank.SetBodyInnerHtml("x");
    EXPECT_EQ(blank.Body(), "x");
    EXPECT_FALSE(blank.IsFreshBlank());

    // a head written without a body keeps its title
    PreviewDocument headOnly;
    headOnly.Writeln("<head><title>  My\r\n  Page </title></head>old");
    EXPECT_EQ(headOnly.Title(), "My Page");
    EXPECT_EQ(headOnly.Body(), "old\r\n");
    headOnly.SetBodyInnerHtml("new");
    EXPECT_EQ(headOnly.Title(), "My Page");
    EXPECT_EQ(headOnly.Body(), "new");
}

TEST(PreviewDocument, TagsAreFoundInAnyCaseButNotByPrefix) {
    PreviewDocument d;
    d.Writeln("<html><Head><title>t</title></HEAD><bodyguard>no</bodyguard><Body class=\"x\">in</BODY></html>");
    EXPECT_EQ(d.Body(), "in");
    d.SetBodyInnerHtml("out");
    EXPECT_EQ(d.Source(),
              "<html><Head><title>t</title></HEAD><bodyguard>no</bodyguard><Body class=\"x\">out</BODY></html>\r\n");
}

TEST(PreviewDocument, EveryChangeIsReportedSoTheViewRedraws) {
    Recorder r;
    r.preview.SetSilent(true);
    EXPECT_TRUE(r.preview.Silent());
    r.preview.Writeln("a");
    r.preview.SetBodyInnerHtml("b");
    r.preview.Open();
    r.preview.Close();
    EXPECT_EQ(r.changes, 4);
}

}  // namespace
}  // namespace mojian
