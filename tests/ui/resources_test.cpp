#include "resources/accelerators.h"
#include "resources/ids.h"
#include "resources/menus.h"
#include "resources/message_format.h"
#include "resources/resource_data.h"
#include "resources/string_table.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace korv {
namespace {

TEST(StringTable, HoldsTheQuotedTexts) {
    const struct {
        unsigned id;
        std::string_view text;
    } cases[] = {
        {101, "&About KORV Log Viewer..."},
        {104, "Log file (*.dat)|*.dat|Any file (*.*)|*.*||"},
        {105, "None|Diagnostic|Information|Warning|Error|Critical"},
        {106, "Type"},
        {107, "No."},
        {108, "Flags"},
        {110, "Done"},
        {111, "Cnt: 0 of 0"},
        {115, "UTC: 0"},
        {121, "Cnt: %1!d! of %2!d!"},
        {125, "UTC: %1!d!"},
        {130, "KORV Log Viewer [{VERSION}] - %1% (%2%) "},
        {131, "KORV Log Viewer [{VERSION}]"},
        {2520, "Whole log\nLast day\nLast week\nLast month\nTime period"},
        {2522, "Search in log"},
        {2523, "Log filtering"},
        {2525, "&Stop"},
        {57344, "KORV Log Viewer"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StringText(c.id), c.text) << "string " << c.id;
    }
}

TEST(StringTable, UnknownIdIsEmptyAndIdsAreUnique) {
    EXPECT_TRUE(StringText(0).empty());
    EXPECT_TRUE(StringText(109).empty());
    EXPECT_TRUE(StringText(99999).empty());
    std::set<unsigned> ids;
    for (const StringEntry& e : StringTable()) {
        EXPECT_TRUE(ids.insert(e.id).second) << "duplicate id " << e.id;
        EXPECT_EQ(StringText(e.id), e.text);
    }
}

TEST(MessageFormat, FormatsTheTableStrings) {
    const struct {
        unsigned id;
        std::vector<MessageArg> args;
        std::string expected;
    } cases[] = {
        {121, {std::int64_t{5}, std::int64_t{250}}, "Cnt: 5 of 250"},
        {122, {std::int64_t{0}}, "Sel: 0"},
        {125, {std::int64_t{-5}}, "UTC: -5"},
        {130, {std::string("Detections"), std::string("virlog.dat")},
         "KORV Log Viewer [{VERSION}] - Detections (virlog.dat) "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatMessageText(StringText(c.id), c.args), c.expected) << "string " << c.id;
    }
}

TEST(MessageFormat, EscapesAndMissingInserts) {
    const std::vector<MessageArg> one{std::string("x")};
    const struct {
        std::string_view pattern;
        std::string expected;
    } cases[] = {
        {"100%%", "100%"},
        {"a%0b", "a"},
        {"%1% %2", "x "},  // %2 has no argument: left out
        {"%.%!%)", ".!)"},
        {"line%nnext", "line\r\nnext"},
        {"tail%", "tail"},
        {"%1!d!", "x"},  // a text argument prints plainly whatever the conversion
        {"%1!unterminated", "x!unterminated"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatMessageText(c.pattern, one), c.expected) << c.pattern;
    }
    const std::vector<MessageArg> numbers{std::int64_t{255}, std::int64_t{7}};
    EXPECT_EQ(FormatMessageText("%1!X! %2!03d! %1!%n!", numbers), "FF 007 255");
}

TEST(MessageFormat, ReplaceAllReplacesEveryOccurrence) {
    EXPECT_EQ(ReplaceAll("KORV Log Viewer [{VERSION}]", "{VERSION}", "1.5.8.0"), "KORV Log Viewer [1.5.8.0]");
    EXPECT_EQ(ReplaceAll("{Y}{Y}-{Y}", "{Y}", "2022"), "20222022-2022");
    EXPECT_EQ(ReplaceAll("none", "{Y}", "2022"), "none");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
}

std::vector<std::string> Texts(std::span<const MenuItem> items) {
    std::vector<std::string> texts;
    for (const MenuItem& item : items) {
        texts.push_back(item.kind == MenuItem::Kind::Separator ? "-" : std::string(item.text));
    }
    return texts;
}

TEST(Menus, MainMenuHasThePopupsInOrder) {
    const auto menu = MenuResource(res::kMenuMain);
    EXPECT_EQ(Texts(menu), (std::vector<std::string>{"&File", "&Edit", "&View", "&Logs", "F&ilter",
                                                      "L&anguage", "&Help"}));
    // The two run-time pop-ups are plain items carrying the ids they are found by.
    EXPECT_EQ(menu[3].kind, MenuItem::Kind::Command);
    EXPECT_EQ(menu[3].id, cmd::kLogsFirst);
    EXPECT_EQ(menu[5].id, cmd::kLanguageFirst);
    EXPECT_EQ(Texts(menu[1].children),
              (std::vector<std::string>{"&Copy\tCtrl+C", "Copy All", "&Delete", "Delete All", "-",
                                        "Select &All\tCtrl+A", "-", "&Find...\tCtrl+F",
                                        "Find Next\tF3", "Find Prev\tShift+F3", "-",
                                        "Toggle &Mark\tCtrl+F2", "Next Mark\tF2", "Previous Mark\tShift+F2",
                                        "Clear Marks", "-", "Time Zone"}));
    EXPECT_EQ(Texts(menu[4].children),
              (std::vector<std::string>{"&Critical", "&Error", "&Warning", "&Information", "&Diagnostic",
                                        "-", "Select &All", "Select &None", "-", "De&leted", "-",
                                        "Advanced..."}));
}

TEST(Menus, FilterItemsCarryTheirCommandIds) {
    const auto menu = MenuResource(res::kMenuMain);
    const struct {
        int id;
        std::string_view text;
    } cases[] = {
        {32790, "&Critical"}, {32792, "&Error"},      {32791, "&Warning"},     {32793, "&Information"},
        {32794, "&Diagnostic"}, {32796, "Select &All"}, {32797, "Select &None"}, {32799, "De&leted"},
        {32798, "Advanced..."}, {32771, "Open &File"},  {32770, "Open &Dir"},    {32772, "&Exit"},
        {32810, "&Number"},   {32813, "&Reset"},      {57664, "&About"},       {32840, "&Eula"},
    };
    for (const auto& c : cases) {
        const MenuItem* item = FindMenuItem(menu, c.id);
        ASSERT_NE(item, nullptr) << c.id;
        EXPECT_EQ(item->text, c.text) << c.id;
    }
    EXPECT_EQ(FindMenuItem(menu, 32819), nullptr);  // Copy Cell is only in the context menus
}

TEST(Menus, ContextMenusDifferByViewMode) {
    const auto list = MenuResource(res::kMenuContextList);
    const auto record = MenuResource(res::kMenuContextRecord);
    ASSERT_EQ(list.size(), 1u);
    ASSERT_EQ(record.size(), 1u);
    EXPECT_EQ(Texts(list[0].children),
              (std::vector<std::string>{"&Copy", "Copy All", "Copy &Cell", "Copy Marked Rows Only", "&Delete",
                                        "Delete All", "-", "Select &All", "Toggle &Mark", "-", "&Find", "Export...",
                                        "Export Marked Rows Only..."}));
    EXPECT_EQ(Texts(record[0].children), (std::vector<std::string>{"&Copy", "Copy All", "Copy &Cell", "-",
                                                                    "Select &All", "-", "&Find"}));
    EXPECT_NE(FindMenuItem(list, cmd::kExport), nullptr);
    EXPECT_EQ(FindMenuItem(record, cmd::kExport), nullptr);
    EXPECT_TRUE(MenuResource(104).empty());
}

// A menu's shortcut label is the key that runs it, in the same spelling everywhere: the
// accelerator table's own.
void ExpectLabelsAreTheAccelerators(std::span<const MenuItem> items, int& labelled) {
    for (const MenuItem& item : items) {
        if (item.kind == MenuItem::Kind::Popup) {
            ExpectLabelsAreTheAccelerators(item.children, labelled);
            continue;
        }
        const std::size_t tab = item.text.find('\t');
        if (tab == std::string_view::npos) continue;
        ++labelled;
        std::string_view keys;
        for (const Accelerator& a : AcceleratorTable(res::kAcceleratorsMain)) {
            if (a.command == item.id) keys = a.keys;
        }
        EXPECT_EQ(item.text.substr(tab + 1), keys) << item.text;
    }
}

TEST(Menus, ShortcutLabelsSpellTheAcceleratorsAndTitlesHaveOwnAltLetters) {
    int labelled = 0;
    ExpectLabelsAreTheAccelerators(MenuResource(res::kMenuMain), labelled);
    EXPECT_EQ(labelled, 8);
    std::set<char> letters;
    for (const MenuItem& title : MenuResource(res::kMenuMain)) {
        const std::size_t amp = title.text.find('&');
        ASSERT_NE(amp, std::string_view::npos) << title.text << " has no Alt letter";
        ASSERT_LT(amp + 1, title.text.size()) << title.text;
        EXPECT_TRUE(letters.insert(char(std::tolower(title.text[amp + 1]))).second)
            << title.text << ": its Alt letter is another title's";
    }
}

TEST(Accelerators, TableMapsKeysToCommands) {
    const auto table = AcceleratorTable(res::kAcceleratorsMain);
    std::vector<std::pair<std::string, int>> entries;
    for (const Accelerator& a : table) {
        entries.emplace_back(std::string(a.keys), a.command);
    }
    EXPECT_EQ(entries, (std::vector<std::pair<std::string, int>>{{"Ctrl+C", 57634},
                                                                 {"Ctrl+A", 57642},
                                                                 {"Ctrl+F", 57636},
                                                                 {"F3", 32824},
                                                                 {"Shift+F3", 32825},
                                                                 {"Ctrl+Shift+F", 32798},
                                                                 {"Ctrl+F2", 32826},
                                                                 {"F2", 32827},
                                                                 {"Shift+F2", 32828}}));
    EXPECT_TRUE(AcceleratorTable(1).empty());
}

TEST(ResourceData, ChangelogIsCrLfTextNewestFirstEndingAt158) {
    const auto bytes = FindResourceData("RT_TXT_FILE", 151);
    ASSERT_TRUE(bytes.has_value());
    const std::string text = bytes->toStdString();
    EXPECT_EQ(text.rfind("1.5.8.0\r\n", 0), 0u) << "the newest version comes first";
    EXPECT_EQ(text.find("1.5.9"), std::string::npos);
    // Every line ends in CR LF, and every change line starts with a dash.
    std::size_t pos = 0;
    int versions = 0;
    bool expectVersion = true;
    while (pos < text.size()) {
        const std::size_t end = text.find("\r\n", pos);
        ASSERT_NE(end, std::string::npos) << "line without CR LF at " << pos;
        const std::string line = text.substr(pos, end - pos);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        if (line.empty()) {
            expectVersion = true;
        } else if (expectVersion) {
            EXPECT_TRUE(isdigit(static_cast<unsigned char>(line[0]))) << line;
            ++versions;
            expectVersion = false;
        } else {
            EXPECT_EQ(line.rfind("- ", 0), 0u) << line;
        }
        pos = end + 2;
    }
    EXPECT_GE(versions, 5);
}

TEST(ResourceData, LicenceIconAndHelpTopicsAreThere) {
    const auto rtf = FindResourceData("RT_RTF_FILE", 150);
    ASSERT_TRUE(rtf.has_value());
    EXPECT_TRUE(rtf->startsWith("{\\rtf1"));
    EXPECT_FALSE(FindResourceData("RT_RTF_FILE", 151).has_value());
    EXPECT_FALSE(FindResourceData("RT_TXT_FILE", 150).has_value());
    EXPECT_FALSE(IconResourcePath(res::kIconMain).isEmpty());
    EXPECT_TRUE(IconResourcePath(104).isEmpty());
    for (std::uint32_t id : {help::kFindContext, help::kFilterContext}) {
        EXPECT_FALSE(HelpTopicPath(id).isEmpty()) << std::hex << id;
    }
    EXPECT_TRUE(HelpTopicPath(0x60255 + 2).isEmpty());
}

}  // namespace
}  // namespace korv
