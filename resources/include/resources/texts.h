#pragma once
// Fixed texts of the viewer that have no string-table id: message boxes,
// progress lines, dialog titles and control labels. Kept here so that the
// windows and the tests quote one source.

#include <string_view>

namespace korv::text {
inline constexpr std::string_view kVersion = "1.5.8.0";
inline constexpr std::string_view kVersionPlaceholder = "{VERSION}";
inline constexpr std::string_view kYearPlaceholder = "{YEAR}";

// Message boxes.
inline constexpr std::string_view kUnknownLogType = "Unknown log type.";
inline constexpr std::string_view kFixLogQuestion =
    "Unable to open a log. Do you want to scan it for errors and fix it?";
inline constexpr std::string_view kFixLogCaption = "Fix log?";
inline constexpr std::string_view kWrongValue = "Wrong value!";

// printf-style progress and cell texts.
inline constexpr std::string_view kUpdatingFmt = "Updating %.01f%%";
inline constexpr std::string_view kExportingFmt = "Exporting %.01f%%";
inline constexpr std::string_view kDone = "Done";
// A running find: the word, the ellipsis character (U+2026), a space and the percentage of the
// rows examined; and what a find ended by Stop leaves there.
inline constexpr std::string_view kSearchingFmt = "Searching\xE2\x80\xA6 %d%%";
inline constexpr std::string_view kSearchStopped = "Search stopped";
// The newest rows shown before the log's records are walked, and what the commands say
// that do not act on them until then.
inline constexpr std::string_view kRowsNotConfirmed = "Newest records, not yet confirmed";
inline constexpr std::string_view kNotFound = "Not found";
inline constexpr std::string_view kNoMarkedRows = "No marked rows";
inline constexpr std::string_view kMarksCapped = "Marks are limited to 10000 rows";
inline constexpr std::string_view kMarkedOnlyNoDataFile =
    "A data file holds every record of the log. Export the marked rows as XML or text.";
inline constexpr std::string_view kTypeValueFmt = "type: %d";
inline constexpr std::string_view kCorrupted = "Corrupted";
inline constexpr std::string_view kRaw = "Raw";  // the Type of a row made from a record's bytes

inline constexpr std::string_view kExportFilter =
    "XML file (*.xml)|*.xml|Text file (*.txt)|*.txt|Data file (*.dat)|*.dat|"
    "JSON Lines (*.jsonl)|*.jsonl|CSV (*.csv)|*.csv||";
inline constexpr std::string_view kExportDefaultExtension = "xml";

// Small dialogs.
inline constexpr std::string_view kAboutTitle = "About KORV Log Viewer";
inline constexpr std::string_view kAboutName = "KORV Log Viewer";
inline constexpr std::string_view kAboutVersion = "Version {VERSION}";
inline constexpr std::string_view kAboutLegal =
    "Copyright (C) 2008-{YEAR} KORV Software s.r.o. All rights reserved.";
inline constexpr std::string_view kChangelogTitle = "KORV Log Viewer - Changelog";
inline constexpr std::string_view kEulaTitle = "KORV Log Viewer - License Agreement";
inline constexpr std::string_view kTimeZoneTitle = "Time zone setup";
inline constexpr std::string_view kTimeZoneLabel = "UTC/GMT:";
inline constexpr std::string_view kOk = "OK";
inline constexpr std::string_view kCancel = "Cancel";
inline constexpr std::string_view kClose = "Close";

// Filter and find dialog (template 2500).
inline constexpr std::string_view kFilterTemplateTitle = "Find";
inline constexpr std::string_view kLabelText = "T&ext:";
inline constexpr std::string_view kLabelColumns = "Se&arch in columns:";
inline constexpr std::string_view kLabelTypes = "R&ecord types:";
inline constexpr std::string_view kLabelPeriod = "Time pe&riod:";
inline constexpr std::string_view kLabelFrom = "&From:";
inline constexpr std::string_view kLabelTo = "&To:";
inline constexpr std::string_view kWholeWords = "Mat&ch whole words only";
inline constexpr std::string_view kCaseSensitive = "&Case sensitive";
// G: the one letter of the phrase that no other control of the dialog uses.
inline constexpr std::string_view kRegex = "Re&gular expression";
inline constexpr std::string_view kBadPattern = "The regular expression is not valid:";
inline constexpr std::string_view kSearchUp = "&Search upwards";
inline constexpr std::string_view kShowDeleted = "Show &Deleted records";
inline constexpr std::string_view kSetupGroup = "Setup";
inline constexpr std::string_view kDefaultButton = "&Default";
inline constexpr std::string_view kCancelButton = "&Cancel";
}  // namespace korv::text
