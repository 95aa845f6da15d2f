#include "ui/mark_settings.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace korv {
namespace {

const QString kMarksGroup = QStringLiteral("Marks");
const QString kPath = QStringLiteral("Path");
const QString kKeys = QStringLiteral("Keys");
const QString kUsed = QStringLiteral("Used");
const QString kCreated = QStringLiteral("Created");

// One spelling per file: links resolved where the file exists.
QString Absolute(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

// A group name for a path: paths hold '/' and other characters a settings key may not.
QString EntryOf(const QString& absolute) {
    const QByteArray hash = QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha256);
    return kMarksGroup + QLatin1Char('/') + QString::fromLatin1(hash.toHex().left(24));
}

}  // namespace

std::vector<RowKey> ReadStoredMarks(QSettings& settings, const QString& path, std::uint64_t created) {
    const QString absolute = Absolute(path);
    const QString entry = EntryOf(absolute);
    settings.beginGroup(entry);
    const bool ours = settings.value(kPath).toString() == absolute;
    // Marks stored before creation times were kept have none; they are taken as they are.
    const QVariant stored = settings.value(kCreated);
    const bool sameLog = created == 0 || !stored.isValid() || stored.toULongLong() == created;
    const QString keys = ours && sameLog ? settings.value(kKeys).toString() : QString();
    settings.endGroup();
    if (ours && !sameLog) {
        settings.remove(entry);  // the marks of a log that is gone
    }
    std::vector<RowKey> marks = ParseMarks(keys.toStdString());
    if (marks.size() > RowMarks::kMaxMarks) {
        marks.resize(RowMarks::kMaxMarks);
    }
    return marks;
}

void WriteStoredMarks(QSettings& settings, const QString& path, const RowMarks& marks, std::uint64_t created) {
    const QString absolute = Absolute(path);
    const QString entry = EntryOf(absolute);
    if (marks.Empty()) {
        settings.remove(entry);
        return;
    }
    settings.beginGroup(entry);
    settings.setValue(kPath, absolute);
    settings.setValue(kKeys, QString::fromStdString(FormatMarks(marks)));
    settings.setValue(kUsed, QDateTime::currentMSecsSinceEpoch());
    if (created != 0) {
        settings.setValue(kCreated, QVariant::fromValue<qulonglong>(created));
    }
    settings.endGroup();

    settings.beginGroup(kMarksGroup);
    const QStringList entries = settings.childGroups();
    if (entries.size() > kMaxMarkedFiles) {
        std::vector<std::pair<qint64, QString>> used;
        for (const QString& name : entries) {
            used.emplace_back(settings.value(name + QLatin1Char('/') + kUsed).toLongLong(), name);
        }
        // Newest first; the file just written is never among those that go.
        const QString written = entry.mid(kMarksGroup.size() + 1);
        std::sort(used.begin(), used.end(), [&written](const auto& a, const auto& b) {
            if ((a.second == written) != (b.second == written)) {
                return a.second == written;
            }
            return a.first > b.first;
        });
        for (std::size_t i = kMaxMarkedFiles; i < used.size(); ++i) {
            settings.remove(used[i].second);
        }
    }
    settings.endGroup();
}

}  // namespace korv
