#include "main_window/form_design.h"

namespace velmora {

namespace {
constexpr std::uint32_t kLightGrey = 0x00C0C0C0;
}

// One row per control, as a design table reads.
// clang-format off
const FormDesign kForm1Design{
    "Velmora",
    2670,
    2325,
    kLightGrey,
    {{
        {ControlId::CmdGetMidFile, "CmdGetMidFile", ControlKind::PushButton, "Get Mid File",
         120, 120, 2415, 375, true, 2, true},
        {ControlId::cmdPlay, "cmdPlay", ControlKind::PushButton, "Play",
         120, 480, 2415, 375, false, 0, true},
        {ControlId::cmdStop, "cmdStop", ControlKind::PushButton, "Stop",
         120, 840, 2415, 375, false, 1, true},
        {ControlId::Label1, "Label1", ControlKind::Label, "",
         120, 1320, 2415, 855, true, 3, true},
        {ControlId::Label2, "Label2", ControlKind::Label, " Velmora MIDI player ",
         0, 2040, 2655, 255, true, 4, false},
    }},
};
// clang-format on

// The table lists the controls in ControlId order, so a control is found by its id alone.
const ControlDesign& FormDesign::control(ControlId id) const {
  return controls.at(static_cast<std::size_t>(id));
}

}  // namespace velmora
