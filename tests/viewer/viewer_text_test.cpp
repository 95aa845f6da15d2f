// The window's decisions that need no window: record suffixes, titles,
// progress text, the language list, menu rules and the command line.

#include "resources/ids.h"
#include "ui/command_line.h"
#include "ui/commands.h"
#include "ui/viewer_text.h"

#include <gtest/gtest.h>

#include <set>

namespace korv {
namespace {

TEST(RecordSuffix, SplitsOnlyADecimalTail) {
    const std::set<std::string> files = {"/logs/odd:12"};
    const auto exists = [&](const std::string& p) { return files.count(p) != 0; };
    const struct {
        const char* in;
        const char* path;
        int record;
    } cases[] = {
        {"/x/y.dat", "/x/y.dat", -1},
        {"/x/y.dat:12", "/x/y.dat", 12},
        {"/x/y.dat:", "/x/y.dat", 0},
        {"/x/y.dat: 7", "/x/y.dat", 7},
        {"/x/y.dat:1a", "/x/y.dat:1a", -1},
        {"/x/y.dat:-3", "/x/y.dat:-3", -1},
        {"C:\\x\\y.dat", "C:\\x\\y.dat", -1},
        {"/x:1/y.dat", "/x:1/y.dat", -1},
        {"/x/y.dat:99999999999", "/x/y.dat:99999999999", -1},  // no int: not a record number
        {"/logs/odd:12", "/logs/odd:12", -1},                   // an existing file is taken whole
        {"/logs/odd:12:4", "/logs/odd:12", 4},
    };
    for (const auto& c : cases) {
        const RecordPath r = SplitRecordSuffix(c.in, exists);
        EXPECT_EQ(r.path, c.path) << c.in;
        EXPECT_EQ(r.record, c.record) << c.in;
    }
}

TEST(WindowText, TitlesAndProgress) {
    EXPECT_EQ(MakeWindowTitle({}, {}), "KORV Log Viewer [1.5.8.0]");
    EXPECT_EQ(MakeWindowTitle("Events", "warnlog.dat"), "KORV Log Viewer [1.5.8.0] - Events (warnlog.dat) ");
    EXPECT_EQ(MakeWindowTitle("a", {}), "KORV Log Viewer [1.5.8.0] - a () ");
    EXPECT_EQ(ProgressPaneText(false, 50.0), "Done");
    EXPECT_EQ(ProgressPaneText(true, 12.345), "Updating 12.3%");
    EXPECT_EQ(ProgressPaneText(true, 100.0), "Updating 100.0%");
}

TEST(LanguageList, SortedByEnglishNameWithCountriesForTwins) {
    const struct {
        std::vector<std::uint16_t> ids;
        std::vector<LanguageEntry> want;
    } cases[] = {
        {{1033, 1031, 1029}, {{1029, u"Czech"}, {1033, u"English"}, {1031, u"German"}}},
        {{1031, 1033, 3079},
         {{1033, u"English"}, {3079, u"German (Austria)"}, {1031, u"German (Germany)"}}},
        {{2055, 1031, 3079},
         {{3079, u"German (Austria)"}, {1031, u"German (Germany)"}, {2055, u"German (Switzerland)"}}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BuildLanguageList(c.ids), c.want);
    }
    // An identifier without a name is still a readable item.
    const auto unknown = BuildLanguageList({0x7FFF});
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0].name, u"32767");
}

TEST(MenuRules, EditItemsFollowRowsSelectionAndKind) {
    const EditMenuFacts none{};
    const EditMenuFacts rows{.itemCount = 5};
    const EditMenuFacts all{.itemCount = 5, .selection = true, .product = true, .searchable = true,
                            .clickedCell = true};
    const struct {
        int id;
        bool none, rows, all;
    } cases[] = {
        {cmd::kCopy, false, false, true},      {cmd::kCopyAll, false, true, true},
        {cmd::kCopyCell, false, false, true},  {cmd::kDelete, false, false, true},
        {cmd::kDeleteAll, false, false, true}, {cmd::kSelectAll, false, true, true},
        {cmd::kTimeZone, false, true, true},   {cmd::kFind, false, false, true},
        {cmd::kFindNext, false, false, true},  {cmd::kFindPrev, false, false, true},
        {cmd::kExport, false, true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EditItemEnabled(c.id, none), c.none) << c.id;
        EXPECT_EQ(EditItemEnabled(c.id, rows), c.rows) << c.id;
        EXPECT_EQ(EditItemEnabled(c.id, all), c.all) << c.id;
    }
    EXPECT_FALSE(EditItemEnabled(cmd::kExit, all).has_value());
    // Copy Cell depends on the right-click alone, even without a log.
    EXPECT_EQ(EditItemEnabled(cmd::kCopyCell, EditMenuFacts{.clickedCell = true}), true);
}

TEST(MenuRules, FilterCommandsChangeTheirBitsOnly) {
    const struct {
        std::uint32_t mask;
        int id;
        std::uint32_t want;
    } cases[] = {
        {0x1F, cmd::kFilterCritical, 0x0F},
        {0x1F, cmd::kFilterError, 0x17},
        {0x1F, cmd::kFilterWarning, 0x1B},
        {0x1F, cmd::kFilterInformation, 0x1D},
        {0x1F, cmd::kFilterDiagnostic, 0x1E},
        {0x1F, cmd::kFilterDeleted, 0x2000001F},
        {0x20000003, cmd::kFilterDeleted, 0x03},
        {0x20000003, cmd::kFilterSelectAll, 0x2000001F},
        {0x2000001F, cmd::kFilterSelectNone, 0x20000000},
        {0x13, cmd::kFilterAdvanced, 0x13},
        {0x13, 32795, 0x13},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilterMaskAfterCommand(c.mask, c.id), c.want) << c.id;
    }
}

TEST(MenuRules, SelectAllAndNoneCheckThemselves) {
    const struct {
        std::uint32_t mask;
        bool all, none, error, deleted;
    } cases[] = {
        {0x1F, true, false, true, false},
        {0x2000001F, true, false, true, true},
        {0x00, false, true, false, false},
        {0x20000000, false, true, false, true},
        {0x05, false, false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FilterItemChecked(cmd::kFilterSelectAll, c.mask), c.all) << c.mask;
        EXPECT_EQ(FilterItemChecked(cmd::kFilterSelectNone, c.mask), c.none) << c.mask;
        EXPECT_EQ(FilterItemChecked(cmd::kFilterError, c.mask), c.error) << c.mask;
        EXPECT_EQ(FilterItemChecked(cmd::kFilterDeleted, c.mask), c.deleted) << c.mask;
    }
}

TEST(CommandLine, PathAndTestingOptions) {
    const struct {
        QStringList args;
        bool ok;
        QString file;
        QString shot;
        int quit;
    } cases[] = {
        {{}, true, {}, {}, -1},
        {{"/x/y.dat:12"}, true, "/x/y.dat:12", {}, -1},
        {{"--screenshot", "a.png", "--quit-after", "300", "/x"}, true, "/x", "a.png", 300},
        {{"--quit-after", "0"}, true, {}, {}, 0},
        {{"--", "--odd-name"}, true, "--odd-name", {}, -1},
        {{"a", "b"}, false, {}, {}, -1},
        {{"--screenshot", "a.png"}, false, {}, {}, -1},
        {{"--quit-after"}, false, {}, {}, -1},
        {{"--quit-after", "-4"}, false, {}, {}, -1},
        {{"--nonsense"}, false, {}, {}, -1},
    };
    for (const auto& c : cases) {
        const ViewerOptions o = ParseViewerCommandLine(c.args);
        EXPECT_EQ(o.error.isEmpty(), c.ok) << c.args.join(' ').toStdString();
        if (!c.ok) {
            continue;
        }
        EXPECT_EQ(o.request.m_nShellCommand, c.file.isEmpty() ? CCommandLineInfo::FileNothing
                                                              : CCommandLineInfo::FileOpen);
        EXPECT_EQ(o.request.m_strFileName, c.file);
        EXPECT_EQ(o.screenshotFile, c.shot);
        EXPECT_EQ(o.quitAfterMs, c.quit);
    }
    EXPECT_TRUE(ParseViewerCommandLine({"--help"}).help);
    EXPECT_TRUE(ParseViewerCommandLine({"--version"}).version);
    const ViewerOptions measure = ParseViewerCommandLine({"--measure-first-rows", "/x"});
    EXPECT_TRUE(measure.error.isEmpty());
    EXPECT_TRUE(measure.measureFirstRows);
    EXPECT_EQ(measure.request.m_strFileName, "/x");
    EXPECT_FALSE(ParseViewerCommandLine({"/x"}).measureFirstRows);
    // --timeline gathers its logs in order, apart from the window's own path.
    const ViewerOptions timeline = ParseViewerCommandLine({"--timeline", "a.dat", "/x", "--timeline", "b:c.dat"});
    EXPECT_TRUE(timeline.error.isEmpty());
    EXPECT_EQ(timeline.timeline, (QStringList{"a.dat", "b:c.dat"}));
    EXPECT_EQ(timeline.request.m_strFileName, "/x");
    EXPECT_FALSE(ParseViewerCommandLine({"--timeline"}).error.isEmpty());
}

TEST(CommandLine, TimedCommands) {
    const ViewerOptions two = ParseViewerCommandLine({"--command", "32798@1500", "--command", "57636@0", "/x"});
    ASSERT_TRUE(two.error.isEmpty()) << two.error.toStdString();
    ASSERT_EQ(two.commands.size(), 2u);
    EXPECT_EQ(two.commands[0].id, 32798);
    EXPECT_EQ(two.commands[0].atMs, 1500);
    EXPECT_EQ(two.commands[1].id, 57636);
    EXPECT_EQ(two.commands[1].atMs, 0);
    for (const char* bad : {"32798", "@5", "x@5", "32798@", "32798@-1", "0@5", "70000@5", "1@2@3"}) {
        EXPECT_FALSE(ParseViewerCommandLine({"--command", bad}).error.isEmpty()) << bad;
    }
    EXPECT_FALSE(ParseViewerCommandLine({"--command"}).error.isEmpty());
}

}  // namespace
}  // namespace korv
