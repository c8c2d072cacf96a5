#pragma once

// The windows were laid out for an 8-point sans-serif dialog font; with a larger
// desktop font the captions would not fit their twip-sized controls.
namespace ClassicFont {
void applyToApplication();
}
