#include "control_table.h"

#include "controls.h"

namespace kxqt {
namespace {

#define KX_CONTROL_ENTRY(id, number, class_name, need) {id, #id, class_name, need == REQUIRED},
constexpr ControlEntry entries[] = {KX_CONTROLS(KX_CONTROL_ENTRY)};
#undef KX_CONTROL_ENTRY

} // namespace

std::span<const ControlEntry> control_entries() { return entries; }

const char* panel_name(int resource) { return resource == PANEL ? "PANEL" : nullptr; }

} // namespace kxqt
