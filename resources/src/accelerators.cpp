#include "resources/accelerators.h"

#include "resources/ids.h"

namespace korv {
namespace {

constexpr Accelerator kMainAccelerators[] = {
    {"Ctrl+C", cmd::kCopy},
    {"Ctrl+A", cmd::kSelectAll},
    {"Ctrl+F", cmd::kFind},
    {"F3", cmd::kFindNext},
    {"Shift+F3", cmd::kFindPrev},
    {"Ctrl+Shift+F", cmd::kFilterAdvanced},
    {"Ctrl+F2", cmd::kToggleMark},
    {"F2", cmd::kNextMark},
    {"Shift+F2", cmd::kPrevMark},
};

}  // namespace

std::span<const Accelerator> AcceleratorTable(int id) {
    if (id == res::kAcceleratorsMain) {
        return kMainAccelerators;
    }
    return {};
}

}  // namespace korv
