#pragma once

#include "paste_stroke.h"

#include <cstdint>
#include <vector>

// A paste stroke as Linux input codes, in order: the modifiers down, V down
// and up, the modifiers up. Wayland's synthetic keyboards speak these codes.
struct EvdevKey
{
    uint32_t code;
    bool pressed;
};

namespace EvdevCode {
inline constexpr uint32_t leftCtrl = 29;
inline constexpr uint32_t leftShift = 42;
inline constexpr uint32_t v = 47;
} // namespace EvdevCode

inline std::vector<EvdevKey> evdevPasteKeys(PasteStroke stroke)
{
    using namespace EvdevCode;
    if (stroke == PasteStroke::ControlShiftV)
        return {{leftCtrl, true}, {leftShift, true}, {v, true}, {v, false}, {leftShift, false}, {leftCtrl, false}};
    return {{leftCtrl, true}, {v, true}, {v, false}, {leftCtrl, false}};
}
