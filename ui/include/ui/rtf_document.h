#pragma once
// Shows RTF in Qt's text widgets through the subset reader.

#include "ui/rtf_reader.h"

#include <QByteArray>

#include <vector>

class QTextDocument;
class QTextEdit;

namespace korv {

// Replaces the document's contents with the runs: each '\n' starts a new
// paragraph, bold and italic become the character format.
void RenderRtfRuns(const std::vector<RtfRun>& runs, QTextDocument& document);

// Reads `rtf` and shows it in `edit`.
void SetRtfText(QTextEdit& edit, const QByteArray& rtf);

}  // namespace korv
