#pragma once
// The accelerator table (103). Keys are written in Qt's portable key
// sequence form ("Ctrl+Shift+F") so the windows can build shortcuts from them
// directly; the table itself stays free of Qt.

#include <span>
#include <string_view>

namespace korv {

struct Accelerator {
    std::string_view keys;
    int command;
};

// The entries of accelerator table `id`, or an empty span for an unknown id.
std::span<const Accelerator> AcceleratorTable(int id);

}  // namespace korv
