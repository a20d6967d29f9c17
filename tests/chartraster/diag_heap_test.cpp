// The diagnostic formatter and sink.
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

}  // namespace
}  // namespace plotwick
