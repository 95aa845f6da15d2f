#pragma once
// A reader for the small subset of RTF the licence text uses: groups,
// \par, \line, \tab, \b, \i, \plain, \u with \uc fallback skipping, \'hh
// (Windows-1252), the usual control symbols, \bin, and destinations that
// are skipped (font, colour and style tables, document info, pictures,
// anything marked \*). Everything else is ignored.
//
// The input is untrusted: any byte sequence is accepted, nothing is read
// past its end, nesting is bounded, and what is readable is returned.

#include <string>
#include <string_view>
#include <vector>

namespace korv {

struct RtfRun {
    std::string text;  // UTF-8; '\n' ends a paragraph, '\t' is a tab
    bool bold = false;
    bool italic = false;

    bool operator==(const RtfRun&) const = default;
};

// Runs of equally formatted text, in document order; adjacent runs differ
// in formatting.
std::vector<RtfRun> ReadRtf(std::string_view data);

// The runs' texts joined, for callers that need the plain text.
std::string RtfPlainText(const std::vector<RtfRun>& runs);

}  // namespace korv
