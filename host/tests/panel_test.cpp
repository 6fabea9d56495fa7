#include "base/panel.h"

#include <gtest/gtest.h>

#include <sstream>

#include "base/text.h"

namespace {

TEST(PanelFile, ReadsControlsAndDefaults) {
    Panel panel;
    ASSERT_EQ(parsePanelFile("# c\r\npanel 1\r\n\r\ncontrol LevelMimic text\r\n text = a b \r\nstatesheet =\r\n", panel),
              std::nullopt);
    EXPECT_EQ(panel.title, "1");
    ASSERT_EQ(panel.controls.size(), 1u);
    const Control& c = panel.controls[0];
    EXPECT_EQ(c.kind, "text");
    ASSERT_NE(c.param("text"), nullptr);
    EXPECT_EQ(*c.param("text"), "a b");
    ASSERT_NE(c.param("statesheet"), nullptr);
    EXPECT_EQ(*c.param("statesheet"), "");
}

TEST(PanelFile, ErrorsNameTheLine) {
    const struct {
        const char* content;
        int line;
        const char* message;
    } cases[] = {
        {"", 1, "no \"panel <title>\" line"},
        {"control A text\n", 1, "expected \"panel <title>\" first"},
        {"panel 1\ntext = x\n", 2, "before any \"control\" line"},
        {"panel 1\ncontrol A\n", 2, "expected \"control <name> <kind>\""},
        {"panel 1\ncontrol A text\ncontrol A text\n", 3, "defined twice"},
        {"panel 1\n# x\ncontrol A text\nhello\n", 4, "expected \"panel\", \"control\" or"},
        {"panel 1\ncontrol A text\n = x\n", 3, "expected one parameter name"},
        {"panel 1\npanel 2\n", 2, "a second \"panel\" line"},
        {"panel\n", 1, "expected \"panel <title>\""},
    };
    for (const auto& c : cases) {
        Panel panel;
        std::optional<PanelFileError> error = parsePanelFile(c.content, panel);
        ASSERT_TRUE(error.has_value()) << "input: " << quoteText(c.content);
        EXPECT_EQ(error->line, c.line) << "input: " << quoteText(c.content);
        EXPECT_NE(error->message.find(c.message), std::string::npos)
            << "input: " << quoteText(c.content) << " message: " << error->message;
    }
}

TEST(PanelDrawing, BoxLinesHaveOneWidthAndShowTheTexts) {
    Panel panel;
    ASSERT_EQ(parsePanelFile("panel 1\ncontrol LevelMimic text\ntext =\nstatesheet =\n", panel), std::nullopt);
    panel.control("LevelMimic")->set("text", "A very long source name that needs a wider box \xC3\xA9");
    panel.control("LevelMimic")->set("statesheet", "onair");
    std::string drawing = drawPanel("1", panel);
    std::istringstream lines(drawing);
    std::string line;
    size_t width = 0;
    int count = 0;
    while (std::getline(lines, line)) {
        if (width == 0) width = textWidth(line);
        EXPECT_EQ(textWidth(line), width) << "line: " << quoteText(line) << "\n" << drawing;
        ++count;
    }
    EXPECT_EQ(count, 7) << drawing;
    EXPECT_NE(drawing.find("| A very long source name that needs a wider box \xC3\xA9 |"), std::string::npos) << drawing;
    EXPECT_NE(drawing.find("statesheet: onair"), std::string::npos) << drawing;
    EXPECT_EQ(drawing.rfind("+-- panel 1 ", 0), 0u) << drawing;
}

}  // namespace
