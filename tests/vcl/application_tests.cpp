// The application object: the error box text, the default title and the handler that
// turns any exception into one error box.
#include "Application.h"
#include "Exception.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(ErrorBoxText, AddsAFullStopAfterCharactersAboveIt) {
    struct Case {
        const char* text;
        const char* shown;
    };
    const Case cases[] = {
        {"Port busy", "Port busy."},
        {"code 5", "code 5."},
        {"Done.", "Done."},
        {"a,", "a,"},
        {"Stop!", "Stop!"},
        {"trailing ", "trailing "},
        {"dash-", "dash-"},    // 0x2D is below the full stop
        {"slash/", "slash/."}, // 0x2F is above it
        {"", ""},
        {"\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82", "\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82."}, // Порт
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ErrorBoxText(c.text), c.shown);
    }
}

TEST(ApplicationTitle, DefaultsToTheProgramFileName) {
    EXPECT_EQ(Application->Title(), "vcl_tests");
}

// Binds the error box to a recorder for one test and unbinds it afterwards.
class HandleExceptionTest : public testing::Test {
protected:
    struct Box {
        std::string title, text;
    };
    std::vector<Box> boxes;

    void SetUp() override {
        Application->ShowErrorBox = [this](const std::string& title, const std::string& text) {
            boxes.push_back({title, text});
        };
    }
    void TearDown() override { Application->ShowErrorBox = nullptr; }
};

TEST_F(HandleExceptionTest, ShowsTheMessageOfAnyExceptionOnce) {
    GuardHandler(nullptr, [] { throw Exception("Port busy"); });
    GuardHandler(nullptr, [] { throw std::runtime_error("runtime failure"); });
    GuardHandler(nullptr, [] { throw 5; });
    GuardHandler(nullptr, [] {});
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].title, "vcl_tests");
    EXPECT_EQ(boxes[0].text, "Port busy.");
    EXPECT_EQ(boxes[1].text, "runtime failure.");
    EXPECT_EQ(boxes[2].text, "An unknown error occurred.");
}

TEST_F(HandleExceptionTest, NeverThrowsEvenWhenTheBoxFails) {
    Application->ShowErrorBox = [](const std::string&, const std::string&) {
        throw std::runtime_error("box failed");
    };
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(GuardHandler(nullptr, [] { throw Exception("Port busy"); }));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Port busy"), std::string::npos);
}

TEST_F(HandleExceptionTest, WithoutABindingWritesToStderr) {
    Application->ShowErrorBox = nullptr;
    testing::internal::CaptureStderr();
    GuardHandler(nullptr, [] { throw Exception("Port busy"); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "vcl_tests: Port busy.\n");
}

TEST_F(HandleExceptionTest, OutsideACatchBlockShowsNothing) {
    Application->HandleException(nullptr);
    EXPECT_TRUE(boxes.empty());
}

} // namespace
