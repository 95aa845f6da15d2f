#include "resources/resource_data.h"
#include "ui/rtf_document.h"
#include "ui/rtf_reader.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>

#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace korv {

// Readable failure messages for run lists.
void PrintTo(const RtfRun& run, std::ostream* os) {
    *os << '{' << (run.bold ? "b " : "") << (run.italic ? "i " : "") << '"' << run.text << "\"}";
}

namespace {

TEST(RtfReader, TextAndFormatting) {
    const struct {
        const char* name;
        std::string rtf;
        std::vector<RtfRun> expected;
    } cases[] = {
        {"plain", "{\\rtf1 Hello}", {{"Hello", false, false}}},
        {"bold group", "{\\rtf1 a{\\b b}c}", {{"a", false, false}, {"b", true, false}, {"c", false, false}}},
        {"b0 ends bold", "{\\rtf1 \\b x\\b0 y}", {{"x", true, false}, {"y", false, false}}},
        {"italic and plain", "{\\rtf1 \\i\\b z\\plain w}", {{"z", true, true}, {"w", false, false}}},
        {"par", "{\\rtf1 one\\par two}", {{"one\ntwo", false, false}}},
        {"line ends in source are layout", "{\\rtf1 a\r\nb}", {{"ab", false, false}}},
        {"control symbols", "{\\rtf1 \\{x\\}\\\\\\~}", {{"{x}\\\xC2\xA0", false, false}}},
        {"hex cp1252", "{\\rtf1 \\'e9\\'93q\\'94\\'a9}", {{"\xC3\xA9\xE2\x80\x9Cq\xE2\x80\x9D\xC2\xA9", false, false}}},
        {"unicode with fallback", "{\\rtf1 a\\u8212?b}", {{"a\xE2\x80\x94" "b", false, false}}},
        {"negative unicode", "{\\rtf1 \\u-3971?}", {{"\xEF\x81\xBD", false, false}}},
        {"uc2 skips two", "{\\rtf1 \\uc2\\u233 xyz}", {{"\xC3\xA9z", false, false}}},
        {"uc0 skips none", "{\\rtf1 \\uc0\\u233 x}", {{"\xC3\xA9x", false, false}}},
        {"surrogate pair", "{\\rtf1 \\u-10179?\\u-8704?}", {{"\xF0\x9F\x98\x80", false, false}}},
        {"fonttbl skipped", "{\\rtf1{\\fonttbl{\\f0 Arial;}}T}", {{"T", false, false}}},
        {"starred skipped", "{\\rtf1{\\*\\generator Tool 1;}T}", {{"T", false, false}}},
        {"unknown words ignored", "{\\rtf1\\fs20\\sa120\\pard T}", {{"T", false, false}}},
        {"tab", "{\\rtf1 a\\tab b}", {{"a\tb", false, false}}},
        {"bin skipped", "{\\rtf1 a\\bin3 xyzb}", {{"ab", false, false}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadRtf(c.rtf), c.expected) << c.name;
    }
}

TEST(RtfReader, MalformedInputGivesWhatIsReadable) {
    const struct {
        const char* name;
        std::string rtf;
        std::string text;
    } cases[] = {
        {"empty", "", ""},
        {"unclosed group", "{\\rtf1 {\\b open", "open"},
        {"surplus close", "{\\rtf1 a}}}b", "ab"},
        {"trailing backslash", "{\\rtf1 a\\", "a"},
        {"truncated hex", "{\\rtf1 a\\'e", "a"},
        {"bad hex", "{\\rtf1 a\\'zz", "azz"},
        {"huge parameter", "{\\rtf1 \\u99999999999999999999? x}", "\xEF\xBF\xBF" " x"},
        {"huge bin", "{\\rtf1 a\\bin999999999999 rest", "a"},
        {"negative bin", "{\\rtf1 a\\bin-5 b}", "ab"},
        {"lone high surrogate", "{\\rtf1 \\u-10179?x}", "\xEF\xBF\xBDx"},
        {"not rtf at all", "just text", "just text"},
        {"overlong word", std::string("{\\rtf1 \\") + std::string(100, 'p') + " q}", "q"},
        {"nul byte", std::string("{\\rtf1 a\0b}", 11), std::string("a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RtfPlainText(ReadRtf(c.rtf)), c.text) << c.name;
    }
}

TEST(RtfReader, DeepNestingIsBoundedAndBalanced) {
    std::string rtf = "{\\rtf1 ";
    rtf += std::string(100000, '{') + "\\b deep" + std::string(100000, '}');
    rtf += " after}";
    const auto runs = ReadRtf(rtf);
    EXPECT_EQ(RtfPlainText(runs), "deep after");
    ASSERT_FALSE(runs.empty());
    EXPECT_FALSE(runs.back().bold) << "closing every group restores the outer state";
}

TEST(RtfReader, RandomBytesNeverCrash) {
    // Fixed seed: a reproducible stream of damaged documents built from the
    // bytes that steer the reader.
    std::mt19937 rng(12345);
    const std::string alphabet = "{}\\'*ub0123456789-parbinuc? \xE9\r\nxyz";
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 400);
    for (int i = 0; i < 2000; ++i) {
        std::string doc;
        const int n = length(rng);
        for (int k = 0; k < n; ++k) {
            doc += alphabet[pick(rng)];
        }
        const auto runs = ReadRtf(doc);
        for (std::size_t r = 1; r < runs.size(); ++r) {
            ASSERT_FALSE(runs[r].bold == runs[r - 1].bold && runs[r].italic == runs[r - 1].italic)
                << "adjacent runs with equal formatting in: " << doc;
        }
    }
}

TEST(RtfReader, LicenceResourceReadsAsDocument) {
    const auto rtf = FindResourceData("RT_RTF_FILE", 150);
    ASSERT_TRUE(rtf.has_value());
    const auto runs = ReadRtf(std::string_view(rtf->constData(), static_cast<std::size_t>(rtf->size())));
    const std::string text = RtfPlainText(runs);
    EXPECT_EQ(text.rfind("KORV Log Viewer \xE2\x80\x94 End User License Agreement\n", 0), 0u) << text.substr(0, 80);
    EXPECT_NE(text.find("Copyright \xC2\xA9 2008"), std::string::npos);
    EXPECT_NE(text.find("\xE2\x80\x9CKORV\xE2\x80\x9D"), std::string::npos);
    EXPECT_NE(text.find("Slovensk\xC3\xA1 republika"), std::string::npos);
    for (const char* hidden : {"Arial", "Courier", "generator", "red0", "License Agreement}"}) {
        EXPECT_EQ(text.find(hidden), std::string::npos) << hidden;
    }
    bool sawBold = false;
    bool sawItalic = false;
    for (const RtfRun& run : runs) {
        sawBold |= run.bold && run.text.find("1. Grant of licence.") != std::string::npos;
        sawItalic |= run.italic && run.text.find("\"as is\"") != std::string::npos;
    }
    EXPECT_TRUE(sawBold);
    EXPECT_TRUE(sawItalic);
}

TEST(RtfDocument, RunsBecomeParagraphsWithFormats) {
    QTextDocument doc;
    RenderRtfRuns({{"Title\n", true, false}, {"body ", false, false}, {"word", false, true}, {"\nend", false, false}},
                  doc);
    ASSERT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(doc.findBlockByNumber(0).text(), "Title");
    EXPECT_EQ(doc.findBlockByNumber(1).text(), "body word");
    EXPECT_EQ(doc.findBlockByNumber(2).text(), "end");
    const QTextBlock title = doc.findBlockByNumber(0);
    EXPECT_EQ(title.begin().fragment().charFormat().fontWeight(), QFont::Bold);
    const QTextBlock body = doc.findBlockByNumber(1);
    auto it = body.begin();
    EXPECT_FALSE(it.fragment().charFormat().fontItalic());
    ++it;
    ASSERT_FALSE(it.atEnd());
    EXPECT_EQ(it.fragment().text(), "word");
    EXPECT_TRUE(it.fragment().charFormat().fontItalic());
}

}  // namespace
}  // namespace korv
