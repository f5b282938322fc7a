#include "CylinderMath.h"

#include <cmath>

namespace tamblor::skin {

std::uint32_t ShadeColor(std::uint32_t argb, float factor) {
    std::uint32_t result = argb & 0xFF000000u;
    for (int shift = 0; shift <= 16; shift += 8) {
        const auto v = static_cast<int>((argb >> shift) & 0xFF);
        const float shaded = static_cast<float>(v / 2) + static_cast<float>(v) * factor / 2.0f;
        result |= (static_cast<std::uint32_t>(shaded) & 0xFF) << shift;
    }
    return result;
}

int FillLength(int bodyWidth, int percent) {
    const float length = static_cast<float>(bodyWidth) / 100.0f * static_cast<float>(percent);
    return static_cast<int>(length);
}

namespace {

// Rises from 0 at u = 0 to 1 at u = 1 along the normal distribution over [-2 sigma, 2 sigma].
double NormalFlank(double u) {
    const double range = 2.0 / std::sqrt(2.0);
    const double low = std::erf(-range);
    return (std::erf(range * (2.0 * u - 1.0)) - low) / (-2.0 * low);
}

}  // namespace

double BellBlend(double t, double focus, double scale) {
    if (t < focus) return scale * NormalFlank(t / focus);
    if (t > focus) return scale * NormalFlank((1.0 - t) / (1.0 - focus));
    return scale;
}

}  // namespace tamblor::skin
