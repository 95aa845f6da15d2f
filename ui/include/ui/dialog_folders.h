#pragma once
// Where the file dialogs start: the folder used last for the same kind of action,
// remembered across runs; on first use the product's Logs folder (Export: the user's
// documents folder).

#include <QString>

namespace korv {

enum class DialogFolder { kOpenFile, kOpenDir, kOpenTimeline, kExport };

// The folder a dialog of `kind` starts in; a remembered folder that is gone is forgotten.
QString StartFolder(DialogFolder kind);
// Remembers the folder `chosen` lies in (a file, or a directory opened as a log) for
// the next dialog of `kind`.
void RememberFolder(DialogFolder kind, const QString& chosen);

}  // namespace korv
