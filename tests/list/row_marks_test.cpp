// Marks on rows: toggling a selection, the cap, rows of a rewritten file,
// the stored text form, the per-file settings and their cap; and the
// highlight's colours against every row colour of the list.

#include <QSettings>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "list_test_support.h"
#include "test_support/temp_dir.h"
#include "ui/log_list_model.h"
#include "ui/mark_settings.h"
#include "ui/match_highlight.h"
#include "ui/row_marks.h"

namespace korv::test {
namespace {

RowKey Key(std::int32_t record, std::int32_t row, std::uint32_t aux) {
    RowKey key;
    key.valid = true;
    key.record = record;
    key.row = row;
    key.auxiliary = aux;
    return key;
}

REC_INFO_BASE Row(std::int32_t record, std::int32_t row, std::uint32_t aux) {
    REC_INFO_BASE r;
    r.record = record;
    r.row = row;
    r.auxiliary = aux;
    return r;
}

std::vector<RowKey> Marked(const RowMarks& marks) { return {marks.Keys().begin(), marks.Keys().end()}; }

TEST(RowMarks, ToggleMarksUnlessAllAreMarked) {
    const RowKey a = Key(1, 0, 2), b = Key(2, 0, 3), shared = Key(1, 1, 2);
    const struct {
        const char* name;
        std::vector<RowKey> before;
        std::vector<RowKey> toggled;
        RowMarks::Toggled result;
        std::vector<RowKey> after;
    } cases[] = {
        {"marks one", {}, {a}, RowMarks::Toggled::kMarked, {a}},
        {"unmarks one", {a}, {a}, RowMarks::Toggled::kUnmarked, {}},
        {"a mixed selection is marked", {a}, {a, b}, RowMarks::Toggled::kMarked, {a, b}},
        {"a marked selection is unmarked", {a, b}, {a, b}, RowMarks::Toggled::kUnmarked, {}},
        {"rows of one record are apart", {a}, {shared}, RowMarks::Toggled::kMarked, {a, shared}},
        {"invalid keys are not marks", {}, {RowKey{}}, RowMarks::Toggled::kNothing, {}},
        {"nothing selected", {a}, {}, RowMarks::Toggled::kNothing, {a}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RowMarks marks;
        marks.Assign(c.before);
        EXPECT_EQ(marks.Toggle(c.toggled), c.result);
        EXPECT_EQ(Marked(marks), c.after);
    }
}

TEST(RowMarks, TheCapHoldsForToggleAndAssign) {
    std::vector<RowKey> many;
    for (int i = 0; i < static_cast<int>(RowMarks::kMaxMarks) + 5; ++i) {
        many.push_back(Key(i, 0, static_cast<std::uint32_t>(i + 1)));
    }
    RowMarks marks;
    EXPECT_EQ(marks.Toggle(many), RowMarks::Toggled::kCapped);
    EXPECT_EQ(marks.Size(), RowMarks::kMaxMarks);
    EXPECT_FALSE(marks.Contains(many.back()));
    // Full: unmarking still works, marking more does not.
    EXPECT_EQ(marks.Toggle(std::vector<RowKey>{many.back()}), RowMarks::Toggled::kCapped);
    EXPECT_EQ(marks.Toggle(std::vector<RowKey>{many.front()}), RowMarks::Toggled::kUnmarked);
    EXPECT_EQ(marks.Size(), RowMarks::kMaxMarks - 1);
    marks.Assign(many);
    EXPECT_EQ(marks.Size(), RowMarks::kMaxMarks);
}

TEST(RowMarks, ARewrittenRecordLosesItsMarkAndNoOtherRowGainsIt) {
    // The log's rows after a rewrite: record 1 is another record now (aux 9), record 2
    // kept its aux but has one row, record 4 is the same.
    const std::vector<REC_INFO_BASE> rows{Row(0, 0, 1), Row(1, 0, 9), Row(1, 1, 9), Row(2, 0, 3),
                                          Row(4, 0, 5), Row(4, 1, 5)};
    const struct {
        const char* name;
        RowKey mark;
        bool kept;
    } cases[] = {
        {"same record", Key(0, 0, 1), true},
        {"same record, second row", Key(4, 1, 5), true},
        {"another record at the index", Key(1, 0, 2), false},
        {"another record, the mark's row exists", Key(1, 1, 2), false},
        {"the marked row is gone", Key(2, 1, 3), false},
        {"record not loaded (yet)", Key(3, 0, 4), true},
        {"past the rows", Key(7, 0, 8), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RowMarks marks;
        marks.Assign(std::vector<RowKey>{c.mark});
        EXPECT_EQ(marks.DropRewritten(rows), c.kept ? 0u : 1u);
        EXPECT_EQ(marks.Contains(c.mark), c.kept);
        EXPECT_EQ(marks.Size(), c.kept ? 1u : 0u);  // never moved to another key
    }
    RowMarks none;
    EXPECT_EQ(none.DropRewritten(rows), 0u);
}

TEST(RowMarks, TextFormRoundTripsAndSkipsDamage) {
    RowMarks marks;
    marks.Assign(std::vector<RowKey>{Key(3, 1, 4294967295u), Key(0, 0, 0), Key(2147483647, 2, 7)});
    const std::string text = FormatMarks(marks);
    EXPECT_EQ(text, "0,0,0;3,1,4294967295;2147483647,2,7;");
    EXPECT_EQ(ParseMarks(text), Marked(marks));

    const struct {
        const char* name;
        const char* text;
        std::vector<RowKey> keys;
    } cases[] = {
        {"empty", "", {}},
        {"no final separator", "1,0,2", {Key(1, 0, 2)}},
        {"empty items", ";;1,0,2;;", {Key(1, 0, 2)}},
        {"two numbers", "1,0;2,0,3;", {Key(2, 0, 3)}},
        {"four numbers", "1,0,2,3;", {}},
        {"negative record", "-1,0,2;", {}},
        {"negative aux", "1,0,-2;", {}},
        {"aux past 32 bits", "1,0,4294967296;", {}},
        {"record past int", "2147483648,0,1;", {}},
        {"letters", "a,b,c;1,x,2;", {}},
        {"blanks", " 1,0,2;", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseMarks(c.text), c.keys);
    }
}

class MarkSettings : public ::testing::Test {
protected:
    TempDir dir_;  // before the settings file in it
    QSettings settings_{QString::fromStdString(dir_.Path("settings.ini")), QSettings::IniFormat};
};

// Marks belong to the log made at a time, not to whatever file has its path later.
TEST_F(MarkSettings, MarksOfALogMadeAnewAtTheSamePathGo) {
    RowMarks a;
    a.Assign(std::vector<RowKey>{Key(1, 0, 2)});
    const QString path = QStringLiteral("/logs/a.dat");
    WriteStoredMarks(settings_, path, a, 1000);
    EXPECT_EQ(ReadStoredMarks(settings_, path, 1000), Marked(a));
    EXPECT_EQ(ReadStoredMarks(settings_, path, 0), Marked(a)) << "a creation time not known reads them";
    EXPECT_TRUE(ReadStoredMarks(settings_, path, 2000).empty());
    EXPECT_TRUE(ReadStoredMarks(settings_, path, 1000).empty()) << "the stale entry went";
    // Marks stored with no creation time are taken by any log at the path, then kept with its.
    WriteStoredMarks(settings_, path, a);
    EXPECT_EQ(ReadStoredMarks(settings_, path, 3000), Marked(a));
    WriteStoredMarks(settings_, path, a, 3000);
    EXPECT_TRUE(ReadStoredMarks(settings_, path, 4000).empty());
}

TEST_F(MarkSettings, MarksAreKeptPerFile) {
    RowMarks a, b;
    a.Assign(std::vector<RowKey>{Key(1, 0, 2), Key(5, 1, 6)});
    b.Assign(std::vector<RowKey>{Key(7, 0, 8)});
    WriteStoredMarks(settings_, QStringLiteral("/logs/a.dat"), a);
    WriteStoredMarks(settings_, QStringLiteral("/logs/b.dat"), b);
    EXPECT_EQ(ReadStoredMarks(settings_, QStringLiteral("/logs/a.dat")), Marked(a));
    EXPECT_EQ(ReadStoredMarks(settings_, QStringLiteral("/logs/b.dat")), Marked(b));
    EXPECT_TRUE(ReadStoredMarks(settings_, QStringLiteral("/logs/c.dat")).empty());
    // The same file by another spelling of its path.
    EXPECT_EQ(ReadStoredMarks(settings_, QStringLiteral("/logs/sub/../a.dat")), Marked(a));

    // An entry whose stored path is another file's (a damaged or colliding entry) is not read.
    settings_.beginGroup(QStringLiteral("Marks"));
    const QStringList entries = settings_.childGroups();
    ASSERT_EQ(entries.size(), 2);
    for (const QString& entry : entries) {
        settings_.setValue(entry + QStringLiteral("/Path"), QStringLiteral("/logs/other.dat"));
    }
    settings_.endGroup();
    EXPECT_TRUE(ReadStoredMarks(settings_, QStringLiteral("/logs/a.dat")).empty());

    // No marks: the entry goes.
    WriteStoredMarks(settings_, QStringLiteral("/logs/b.dat"), RowMarks{});
    settings_.beginGroup(QStringLiteral("Marks"));
    EXPECT_EQ(settings_.childGroups().size(), 1);
    settings_.endGroup();
}

TEST_F(MarkSettings, OnlyTheMostRecentlyWrittenFilesKeepMarks) {
    RowMarks marks;
    marks.Assign(std::vector<RowKey>{Key(1, 0, 2)});
    const int files = kMaxMarkedFiles + 3;
    for (int i = 0; i < files; ++i) {
        WriteStoredMarks(settings_, QStringLiteral("/logs/%1.dat").arg(i), marks);
        // Distinct times, so that the order of writing is the order kept.
        settings_.beginGroup(QStringLiteral("Marks"));
        for (const QString& entry : settings_.childGroups()) {
            if (settings_.value(entry + QStringLiteral("/Path")).toString() == QStringLiteral("/logs/%1.dat").arg(i)) {
                settings_.setValue(entry + QStringLiteral("/Used"), 1000 + i);
            }
        }
        settings_.endGroup();
    }
    for (int i = 0; i < files; ++i) {
        EXPECT_EQ(ReadStoredMarks(settings_, QStringLiteral("/logs/%1.dat").arg(i)).size(), i < 3 ? 0u : 1u) << i;
    }
    // Written again, an old file comes back and the oldest left goes.
    WriteStoredMarks(settings_, QStringLiteral("/logs/0.dat"), marks);
    EXPECT_EQ(ReadStoredMarks(settings_, QStringLiteral("/logs/0.dat")).size(), 1u);
    EXPECT_TRUE(ReadStoredMarks(settings_, QStringLiteral("/logs/3.dat")).empty());
}

TEST(MatchHighlight, ReadsWellOnEveryRowColour) {
    // The matched text on the highlight reads at the strictest contrast level, and the
    // highlight stands apart from every row background, the corrupted rows' red included.
    // (No background can both keep dark text at 7:1 and reach 3:1 against white, so the
    // highlight is told apart by hue and at least 1.4:1.)
    EXPECT_GE(ContrastRatio(kMatchText, kMatchBackground), 7.0);
    const std::vector<RowColourPair> rows = AllRowColours();
    ASSERT_EQ(rows.size(), 5u);
    for (const RowColourPair& row : rows) {
        SCOPED_TRACE(row.text.name().toStdString() + " on " + row.background.name().toStdString());
        EXPECT_GE(ContrastRatio(kMatchBackground, row.background), 1.4);
        EXPECT_NE(kMatchText, row.text);
    }
    // The formula itself, at its ends and on a known pair.
    EXPECT_DOUBLE_EQ(ContrastRatio(Qt::black, Qt::white), 21.0);
    EXPECT_DOUBLE_EQ(ContrastRatio(Qt::white, Qt::white), 1.0);
    EXPECT_NEAR(ContrastRatio(QColor(118, 118, 118), Qt::white), 4.54, 0.01);
}

}  // namespace
}  // namespace korv::test
