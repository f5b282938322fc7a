#include "GadgetReport.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace tamblor {
namespace {

std::string Fixed(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Millis(double microseconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", microseconds / 1000.0);
    return text;
}

void PrintChip(std::ostream& out, const char* name, const ChipImageResult& chip,
               std::uint32_t chunks) {
    out << "  " << name << (chip.due ? " (due): " : " (not due): ");
    if (!chip.programmed && chip.storedBytes == 0) {
        out << "not written\n";
        return;
    }
    out << chip.storedBytes << " bytes in " << chunks << " chunks";
    if (chip.due) out << " of " << chip.expectedBytes << " expected";
    if (chip.firstDifference) {
        out << ", differs from offset " << *chip.firstDifference;
    } else if (chip.due) {
        out << ", equal";
    }
    out << "\n";
}

}  // namespace

TurnaroundFigures SummariseTurnarounds(std::vector<double> microseconds) {
    TurnaroundFigures figures;
    figures.samples = microseconds.size();
    if (microseconds.empty()) return figures;
    std::sort(microseconds.begin(), microseconds.end());
    const auto at = [&](double p) {
        return microseconds[static_cast<std::size_t>(p *
                                                     static_cast<double>(microseconds.size() - 1))];
    };
    figures.p50 = at(0.50);
    figures.p99 = at(0.99);
    figures.max = microseconds.back();
    return figures;
}

std::string GadgetRunReport::ToJson() const {
    const auto& a = declaredAttributes;
    const auto& c = declaredCaps;
    return std::string("{\"end\":\"") + ToString(end) +
           "\",\"passed\":" + (Passed() ? "true" : "false") +
           ",\"clean\":" + (Clean() ? "true" : "false") +
           ",\"declared\":{\"vid\":" + std::to_string(a.vendorId) +
           ",\"pid\":" + std::to_string(a.productId) +
           ",\"versionNumber\":" + std::to_string(a.versionNumber) +
           ",\"usagePage\":" + std::to_string(c.usagePage) +
           ",\"usage\":" + std::to_string(c.usage) +
           ",\"inputReportLength\":" + std::to_string(c.inputReportByteLength) +
           ",\"outputReportLength\":" + std::to_string(c.outputReportByteLength) +
           "},\"restarts\":" + std::to_string(restarts) +
           ",\"earlyReports\":" + std::to_string(earlyReports) +
           ",\"turnaroundUs\":{\"samples\":" + std::to_string(turnaround.samples) +
           ",\"p50\":" + Fixed(turnaround.p50) + ",\"p99\":" + Fixed(turnaround.p99) +
           ",\"max\":" + Fixed(turnaround.max) + "},\"dock\":" + dock.ToJson() + "}";
}

void GadgetRunReport::Print(std::ostream& out) const {
    out << "tamblor-dock report (" << ToString(end) << ", " << restarts
        << " restarts): " << (Passed() ? "passed" : "NOT passed") << "\n";
    PrintChip(out, "Chip 3", dock.chip3, dock.chip3Chunks);
    PrintChip(out, "Chip 2 file 1/2", dock.chip2[0], dock.chip2Chunks[0]);
    PrintChip(out, "Chip 2 file 2/2", dock.chip2[1], dock.chip2Chunks[1]);
    PrintChip(out, "Chip 1", dock.chip1, dock.chip1Chunks);
    if (!dock.judged) out << "  the images were not judged: no package to compare with\n";
    out << "  violations: " << dock.violations.size() << "\n";
    for (const auto& violation : dock.violations) out << "    " << violation << "\n";
    if (earlyReports > 0) {
        out << "  reports before the previous answer was collected: " << earlyReports << "\n";
    }
    out << "  host turnaround: " << turnaround.samples << " reports";
    if (turnaround.samples > 0) {
        out << ", p50 " << Millis(turnaround.p50) << ", p99 " << Millis(turnaround.p99) << ", max "
            << Millis(turnaround.max);
    }
    out << "\n";
    out.flush();
}

}  // namespace tamblor
