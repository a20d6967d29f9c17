// The diagnostic formatter and sink, and the xmalloc heap with its count of
// live blocks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plotwick/raster.h"

namespace plotwick {
namespace {

TEST(DebugFormat, FormatsEachConversion) {
    struct Case {
        const char* expected;
        std::string got;
    } cases[] = {
        {"xmalloc failed at size = 12", DebugFormat("%s = %d", {"xmalloc failed at size", 12})},
        {"-7 and 50%", DebugFormat("%d and %d%%", {-7, 50})},
        {"000000FF FFFFFFFF", DebugFormat("%X %X", {255, -1})},
        {"1.500000 -0.250000", DebugFormat("%F %F", {1.5, -0.25})},
        {"1.5 2.0 0.125 3.0", DebugFormat("%f %f %f %f", {1.5, 2.0, 0.125, 3})},
        {"1st 2nd 3rd 4th 11th 12th 13th 21st 22nd 23rd 101st 111th 0th",
         DebugFormat("%r %r %r %r %r %r %r %r %r %r %r %r %r",
                     {1, 2, 3, 4, 11, 12, 13, 21, 22, 23, 101, 111, 0})},
        {"a b", DebugFormat("a%q b", {})},                  // unknown conversion: nothing
        {"x=", DebugFormat("x=%d", {})},                    // missing argument: nothing
        {"x= y=5", DebugFormat("x=%d y=%d", {"text", 5})},  // mismatched argument: nothing, and consumed
        {"tail", DebugFormat("tail%", {})},
        {"", DebugFormat("%s", {static_cast<const char*>(nullptr)})},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
    const std::string longText(5000, 'x');
    EXPECT_EQ(DebugFormat("%s!", {longText.c_str()}).size(), kDebugTextMax);
}

TEST(DiagnosticSink, DefaultsToStandardErrorWithAPrefix) {
    SetDiagnosticSink(nullptr);
    testing::internal::CaptureStderr();
    DebugPrintString("name", "text");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "plotwick: name = text\n");
    std::vector<std::string> got;
    SetDiagnosticSink([&](std::string_view t) { got.emplace_back(t); });
    DebugPrintf("%s = %d", "n", 3);
    DebugPrint(std::string(3000, 'y'));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "n = 3");
    EXPECT_EQ(got[1].size(), kDebugTextMax);
    SetDiagnosticSink(nullptr);
}

TEST(Xmalloc, CountsLiveBlocksAndReportsFailures) {
    std::vector<std::string> diags;
    SetDiagnosticSink([&](std::string_view t) { diags.emplace_back(t); });
    const int64_t live = XmallocLiveBlocks();
    EXPECT_EQ(xmalloc(0), nullptr);
    EXPECT_EQ(xmalloc(-5), nullptr);
    EXPECT_TRUE(diags.empty());  // sizes <= 0 are not failures

    auto* block = static_cast<unsigned char*>(xmalloc(1000));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 1000, 0), 1000);  // zero-filled
    void* other = xmalloc(1);
    EXPECT_EQ(XmallocLiveBlocks(), live + 2);
    RasterFree();  // the window heap outlives the raster layer
    EXPECT_EQ(XmallocLiveBlocks(), live + 2);
    xfree(block);
    xfree(other);
    xfree(nullptr);
    EXPECT_EQ(XmallocLiveBlocks(), live);
    EXPECT_TRUE(diags.empty());

    int local = 0;
    xfree(&local);  // not ours: refused, count unchanged
    xfree(other);   // already released: refused
    EXPECT_EQ(XmallocLiveBlocks(), live);
    EXPECT_EQ(diags.size(), 2u);

    diags.clear();
    EXPECT_EQ(xmalloc(kXmallocMaxBlock + 1), nullptr);
    EXPECT_EQ(xmalloc(int64_t{1} << 40), nullptr);
    ASSERT_EQ(diags.size(), 2u);
    EXPECT_EQ(diags[0], "xmalloc failed at size = 1073741825");
    EXPECT_EQ(diags[1], "xmalloc failed at size = 2147483647");
    EXPECT_EQ(XmallocLiveBlocks(), live);
    SetDiagnosticSink(nullptr);
}

}  // namespace
}  // namespace plotwick
