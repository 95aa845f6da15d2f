#include "resources/resource_data.h"

#include "resources/ids.h"

#include <QFile>

// The resources live in a static library; Q_INIT_RESOURCE must be called
// from outside any namespace and keeps the linker from dropping them.
static void InitKorvResources() { Q_INIT_RESOURCE(korv_resources); }

namespace korv {
namespace {

void EnsureResources() {
    static const bool done = [] {
        InitKorvResources();
        return true;
    }();
    (void)done;
}

std::optional<QByteArray> ReadResource(const QString& path) {
    EnsureResources();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

}  // namespace

std::optional<QByteArray> FindResourceData(std::string_view type, int id) {
    if (type == "RT_TXT_FILE" && id == res::kChangelogTxt) {
        return ReadResource(QStringLiteral(":/korv/changelog.txt"));
    }
    if (type == "RT_RTF_FILE" && id == res::kLicenceRtf) {
        return ReadResource(QStringLiteral(":/korv/license.rtf"));
    }
    return std::nullopt;
}

QString IconResourcePath(int id) {
    EnsureResources();
    return id == res::kIconMain ? QStringLiteral(":/korv/icon_103.png") : QString();
}

QString HelpTopicPath(std::uint32_t contextId) {
    EnsureResources();
    switch (contextId) {
        case help::kFindContext: return QStringLiteral(":/korv/help/search_in_log.html");
        case help::kFilterContext: return QStringLiteral(":/korv/help/log_filtering.html");
        case help::kMainContext: return QStringLiteral(":/korv/help/log_viewer.html");
        case help::kTimeZoneContext: return QStringLiteral(":/korv/help/time_zone.html");
        default: return {};
    }
}

}  // namespace korv
