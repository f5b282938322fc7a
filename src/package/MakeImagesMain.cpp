// tamblor-mkimages OUTDIR: writes the synthetic segment images segment0.bin to segment4.bin.

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>
#include <vector>

#include "SyntheticImages.h"
#include "fileio/TempOutput.h"

namespace {

bool SameContent(const std::filesystem::path& file, const std::vector<std::uint8_t>& image) {
    // Only a plain file is read: opening a FIFO planted at the name would wait for a writer
    // forever, and a link is not ours to follow. Anything else is left to the writer to refuse.
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(file, error))) {
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> existing((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
    return existing == image;
}

// An unchanged image keeps its time stamp, so the packed executables are not linked again. A
// changed one is replaced whole: a build stopped half-way leaves the old image, not half a new one.
bool WriteImage(const std::filesystem::path& file, const std::vector<std::uint8_t>& image) {
    if (SameContent(file, image)) return true;
    tamblor::CTempOutput out(file);
    const bool written = out.Write(image) && out.SetMode(tamblor::CTempOutput::UsualMode()) &&
                         out.SyncAndClose() && out.Commit();
    if (!written) std::cerr << "tamblor-mkimages: " << out.Failure() << "\n";
    return written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tamblor-mkimages OUTDIR\n";
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::cerr << "tamblor-mkimages: cannot create " << dir.string() << ": " << ec.message()
                  << "\n";
        return 1;
    }
    for (std::size_t k = 0; k < tamblor::kSegmentCount; ++k) {
        const auto file = dir / tamblor::SyntheticImageName(k);
        if (!WriteImage(file, tamblor::MakeSyntheticImage(k))) return 1;
    }
    return 0;
}
