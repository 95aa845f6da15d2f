#pragma once
// The files compiled into the program: the changelog text, the licence RTF,
// the icon and the help topics, found by the ids the windows use.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>

namespace korv {

// The bytes of resource `id` of `type` ("RT_TXT_FILE", "RT_RTF_FILE"), or
// nullopt when the program has no such resource.
std::optional<QByteArray> FindResourceData(std::string_view type, int id);

// Resource path of icon `id` (for QIcon/QPixmap), or empty when unknown.
QString IconResourcePath(int id);

// Resource path of the help topic for a help context id, or empty when no
// topic has that id.
QString HelpTopicPath(std::uint32_t contextId);

}  // namespace korv
