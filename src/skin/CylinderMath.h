#pragma once

#include <cstdint>

namespace tamblor::skin {

// Horizontal extent of an end face of the cylinder, in pixels.
inline constexpr int kCapDepth = 10;

// Darkens an ARGB colour for an end face: each of red, green and blue becomes
// v / 2 + v * factor / 2 in single precision, truncated; alpha stays.
std::uint32_t ShadeColor(std::uint32_t argb, float factor);

// Length of the coloured section. Single precision on purpose: for some body widths position
// 100 falls one pixel short of the body, and the bar has always looked that way.
int FillLength(int bodyWidth, int percent);

// Weight of the gradient's second colour at t (0 at the first colour's edge, 1 at the other):
// 0 at both edges, `scale` at `focus`, each flank following the normal distribution over two
// standard deviations.
double BellBlend(double t, double focus, double scale);

}  // namespace tamblor::skin
