#include "compose/PreviewSettings.h"

#include <gtest/gtest.h>

namespace mojian {
namespace {

TEST(PreviewSettings, TheBuiltInViewUnlessTheFileAsksForTheSystemEngine) {
    EXPECT_EQ(PreviewEngineFromSettings(""), PreviewEngine::BuiltIn);
    EXPECT_EQ(PreviewEngineFromSettings("engine=system"), PreviewEngine::System);
    EXPECT_EQ(PreviewEngineFromSettings("\xEF\xBB\xBF; the preview\r\n  Engine = SYSTEM \r\n"), PreviewEngine::System);
    EXPECT_EQ(PreviewEngineFromSettings("engine=system\nengine=builtin\n"), PreviewEngine::BuiltIn);  // the last line counts
    // What cannot be read changes nothing.
    EXPECT_EQ(PreviewEngineFromSettings("engine=ie6\n#engine=system\nsystem\n=system\n\x01\x02"), PreviewEngine::BuiltIn);
    EXPECT_EQ(PreviewEngineFromSettings("other=1\nengine=system\nengine=nonsense"), PreviewEngine::System);
}

}  // namespace
}  // namespace mojian
