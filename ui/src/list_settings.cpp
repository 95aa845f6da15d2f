#include "ui/list_settings.h"

#include <QVariant>

#include <vector>

#include "logmodel/log.h"
#include "ui/log_list_ctrl.h"
#include "ui/settings_list.h"

namespace korv {
namespace {

const QString kFilter = QStringLiteral("Filter");
const QString kAutoScroll = QStringLiteral("ListAutoScroll");
const QString kColWidth = QStringLiteral("ListColWidth");
const QString kColOrder = QStringLiteral("ListColOrder");

// A stored DWORD, or `fallback` when it is missing or not a number.
std::uint32_t ReadDword(const QSettings& settings, const QString& name, std::uint32_t fallback) {
    const QVariant value = settings.value(name);
    if (!value.isValid()) {
        return fallback;
    }
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < 0 || number > 0xFFFFFFFFll) {
        return fallback;
    }
    return static_cast<std::uint32_t>(number);
}

std::string ReadString(const QSettings& settings, const QString& name) {
    const QVariant value = settings.value(name);
    return value.isValid() ? value.toString().toStdString() : std::string();
}

}  // namespace

QString SettingsGroup(std::string_view key) {
    QString group = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
    // The settings keys name nested keys with '\', as the registry does;
    // QSettings nests groups at '/'.
    group.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return group;
}

ListSettings ReadListSettings(QSettings& settings, std::string_view key) {
    ListSettings values;
    const QString group = SettingsGroup(key);
    if (group.isEmpty()) {
        return values;
    }
    settings.beginGroup(group);
    values.filter = ReadDword(settings, kFilter, kDefaultFilterMask);
    values.autoScroll = ReadDword(settings, kAutoScroll, 1) != 0;
    values.colOrder = ReadString(settings, kColOrder);
    values.colWidth = ReadString(settings, kColWidth);
    settings.endGroup();
    return values;
}

void WriteListSettings(QSettings& settings, std::string_view key, const ListSettings& values) {
    const QString group = SettingsGroup(key);
    if (group.isEmpty()) {
        return;
    }
    settings.beginGroup(group);
    settings.setValue(kFilter, static_cast<quint32>(values.filter));
    settings.setValue(kAutoScroll, values.autoScroll ? 1 : 0);
    // A list without columns has no layout to keep; the stored one stays.
    if (!values.colWidth.empty() || !values.colOrder.empty()) {
        settings.setValue(kColWidth, QString::fromStdString(values.colWidth));
        settings.setValue(kColOrder, QString::fromStdString(values.colOrder));
    }
    settings.endGroup();
}

void CaptureListLayout(const CLogListCtrl& list, ListSettings& values) {
    values.autoScroll = list.m_bAutoScroll;
    const int n = list.GetColumnCount();
    if (n <= 0) {
        values.colWidth.clear();
        values.colOrder.clear();
        return;
    }
    std::vector<int> widths;
    widths.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        widths.push_back(list.GetColumnWidth(i));
    }
    values.colWidth = FormatSettingsList(widths);
    values.colOrder = FormatSettingsList(list.GetColumnOrderArray());
}

void ApplyListLayout(CLogListCtrl& list, const ListSettings& values) {
    list.m_bAutoScroll = values.autoScroll;
    const int n = list.GetColumnCount();
    for (const ColumnWidth& width : WidthsToApply(ParseSettingsList(values.colWidth), n)) {
        list.SetColumnWidth(width.column, width.width);
    }
    const std::vector<int> order = OrderToApply(ParseSettingsList(values.colOrder), n);
    if (!order.empty()) {
        list.SetColumnOrderArray(order);
    }
}

void SaveListSettings(CLog* log, const CLogListCtrl& list, QSettings& settings) {
    if (!log) {
        return;
    }
    const std::string key = log->GetSettingsKey();
    if (key.empty()) {
        return;
    }
    ListSettings values;
    values.filter = log->GetFilter().m_nTypeMask;
    CaptureListLayout(list, values);
    WriteListSettings(settings, key, values);
}

void LoadListSettings(CLog* log, CLogListCtrl& list, QSettings& settings) {
    if (!log) {
        return;
    }
    const ListSettings values = ReadListSettings(settings, log->GetSettingsKey());
    CLogFilterData criteria;
    criteria.m_nTypeMask = values.filter;
    log->SetFilter(criteria);
    // The filter rebuilt the visible list; rows past its end would index
    // nothing.
    if (list.GetLog() == log) {
        list.SetItemCount(log->IsOpen() ? log->GetVisibleCount() : 0);
    }
    ApplyListLayout(list, values);
}

void SaveListSettings(CLog* log, const CLogListCtrl& list) {
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    SaveListSettings(log, list, settings);
}

void LoadListSettings(CLog* log, CLogListCtrl& list) {
    QSettings settings(QStringLiteral("KORV"), QStringLiteral("KORV Log Viewer"));
    LoadListSettings(log, list, settings);
}

}  // namespace korv
