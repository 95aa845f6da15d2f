#pragma once
// The window truth oracle: what a viewer window shows at this moment against a fresh load of
// the same file under the same filter. It compares the list's rows (record, row and
// auxiliary value of every position, through the list, in the list's order), the status
// bar's counts and the strip's buckets.
//
// A window may be between hand-overs: a newest-first load shows the newest records first
// and fills in the older ones behind them, a writer's appends arrive a second later. What it
// shows must then be exactly the fresh load's rows of one contiguous run of records (the
// first to the last record it holds), with the counts and buckets of that run. Rows the walk
// has not confirmed yet (still read from the newest page) are reported as unconfirmed, not
// compared.

#include <gtest/gtest.h>

class CLogViewerDlg;

namespace korv::test {

enum class WindowPhase {
    kAny,       // loading or loaded: a contiguous run of the file's records
    kComplete,  // loaded: every record of the file, nothing unconfirmed
};

// Passes when the window's list, panes and strip equal the fresh load (of the run of records
// the window holds, or of the whole file for kComplete).
::testing::AssertionResult WindowShowsTheTruth(CLogViewerDlg& dlg, WindowPhase phase = WindowPhase::kAny);

// Waits until the window has loaded the whole file as it is now, checking the oracle at
// every hand-over on the way (`onTheWay`); false when it does not within `ms`. A text
// criterion is matched by re-reading the log in the background, and until those rows arrive
// the window keeps the rows it had with "Updating" in pane 0: after such a change pass
// `onTheWay` false.
::testing::AssertionResult WaitForTruth(CLogViewerDlg& dlg, int ms = 30000, bool onTheWay = true);

}  // namespace korv::test
