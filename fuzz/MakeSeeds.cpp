// Writes the seed corpora of the package and engine harnesses into FOLDER/package and
// FOLDER/engine: packages made by the packer from the synthetic images, some of them damaged,
// and runs of the step dock recorded reply by reply. (The descriptor seeds are the descriptors
// of the hidraw tests, copied once.)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "EngineScenario.h"
#include "hid/emulated/StepRun.h"
#include "package/PackageWriter.h"
#include "package/SyntheticImages.h"

namespace tamblor::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Save(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void PackageSeeds(const std::filesystem::path& dir) {
    const auto made = [](std::size_t shape, char selector) {
        return ReadFile(PackageOf(shape, selector).path);
    };
    Save(dir / "selector1.pkg", made(0, '1'));
    Save(dir / "selector2-two-blocks.pkg", made(3, '2'));
    Save(dir / "selector3-one-page.pkg", made(2, '3'));
    Save(dir / "empty-segments.pkg", made(1, '1'));

    // The same package without its carrier, with its first record cut off, cut short, and
    // with a vendor ID that is no hexadecimal number.
    Bytes bare = made(0, '1');
    const std::string carrier = "Carrier of a fuzzed package.\n";
    bare.erase(bare.begin(), bare.begin() + static_cast<std::ptrdiff_t>(carrier.size()));
    Save(dir / "no-carrier.pkg", bare);
    Save(dir / "five-records.pkg", Bytes(bare.begin() + kRecordLength, bare.end()));
    Save(dir / "cut-short.pkg", Bytes(bare.begin(), bare.begin() + 100));
    Bytes badVendor = bare;
    badVendor[badVendor.size() - kRecordLength + kRecVendorId] = 'g';
    Save(dir / "bad-vendor-id.pkg", badVendor);
}

// Ops of EngineScenario.h.
constexpr std::uint8_t kDeliver = 0x00;
constexpr std::uint8_t kPressStart = 0xB0;
constexpr std::uint8_t kUnplug = 0xB8;
constexpr std::uint8_t kPlug = 0xBC;
constexpr std::uint8_t kSetNextReply = 0xD0;
constexpr std::uint8_t kStray = 0xE0;

struct Header {
    bool isp = false;
    int selector = 0;  // index into kSelectors
    int shape = 0;
    bool arrivalFirst = false;
    bool contractBroken = false;
    std::uint8_t faults = 0;
    std::uint8_t busy = 0;
};

Bytes HeaderBytes(const Header& h) {
    return {static_cast<std::uint8_t>((h.isp ? 1 : 0) | h.selector << 1 | h.shape << 3 |
                                      (h.arrivalFirst ? 0x20 : 0) | (h.contractBroken ? 0x40 : 0)),
            h.faults, h.busy};
}

// A whole honest run, recorded: every item the dock makes, up to the quiet after start-up,
// Start upgrade, then every item to the end. With `spelled`, each answer's bytes 1-8 are
// written out before it is handed on, so that a fuzzer can change any of them.
Bytes Recorded(const Header& h, bool spelled) {
    Bytes ops = HeaderBytes(h);
    const auto& package = PackageOf(static_cast<std::size_t>(h.shape), kSelectors[h.selector]);
    DockConfig config;
    config.ispMode = h.isp;
    config.expected = package.expected;
    CStepRun run(config, package.path);
    run.Dock().SetArrivalFirst(h.arrivalFirst);
    const auto record = [&] {
        while (run.Dock().HasEvents()) {
            if (spelled) {
                if (const Report* reply = run.Dock().NextReply()) {
                    ops.push_back(kSetNextReply);
                    ops.insert(ops.end(), reply->begin() + 1, reply->begin() + 9);
                }
            }
            ops.push_back(kDeliver);
            run.Step();
        }
    };
    run.Start();
    record();
    ops.push_back(kPressStart);
    run.PressStart();
    record();
    return ops;
}

void EngineSeeds(const std::filesystem::path& dir) {
    // Every selector in both start modes with the package of a few chunks a stream, then the
    // other shapes where they matter most.
    struct Start {
        int selector;
        bool isp;
        int shape;
    };
    std::vector<Start> starts;
    for (int selector = 0; selector < 4; ++selector) {
        for (const bool isp : {false, true}) starts.push_back({selector, isp, 0});
    }
    starts.insert(starts.end(), {{1, false, 1}, {2, false, 2}, {1, false, 3}, {2, false, 3}});
    for (const auto& start : starts) {
        Header h;
        h.isp = start.isp;
        h.selector = start.selector;
        h.shape = start.shape;
        const std::string name = std::string("selector") + kSelectors[start.selector] +
                                 (start.isp ? "-isp" : "-ap") + "-shape" +
                                 std::to_string(start.shape);
        Save(dir / (name + ".run"), Recorded(h, false));
        h.contractBroken = true;
        Save(dir / (name + "-spelled.run"), Recorded(h, true));
    }
    // Faults: Chip 1 busy three times then a wrong Chip 1 sum; a failed Chip 3 erase; a wrong
    // Chip 3 sum.
    Header faulty;
    faulty.selector = 2;
    faulty.faults = 0x10;
    faulty.busy = 3;
    Save(dir / "selector3-chip1-busy-and-wrong.run", Recorded(faulty, false));
    faulty.selector = 0;
    faulty.faults = 0x01;
    faulty.busy = 0;
    Save(dir / "selector1-erase-fails.run", Recorded(faulty, false));
    faulty.faults = 0x08;
    Save(dir / "selector1-chip3-sum-wrong.run", Recorded(faulty, false));
    // The restart's arrival noticed before its removal.
    Header swapped;
    swapped.selector = 1;
    swapped.arrivalFirst = true;
    Save(dir / "selector2-arrival-first.run", Recorded(swapped, false));

    // Hand-made: the cable pulled mid-stream and put back, then Start again; and a stray
    // report in the middle of Chip 3.
    Bytes pulled = HeaderBytes(Header{});
    pulled.insert(pulled.end(),
                  {kDeliver, kDeliver, kDeliver, kPressStart, kDeliver,    kDeliver, kDeliver,
                   kDeliver, kDeliver, kDeliver, kUnplug,     kDeliver,    kDeliver, kPlug,
                   kDeliver, kDeliver, kDeliver, kDeliver,    kPressStart, 0xAF,     0xAF});
    Save(dir / "cable-pulled-and-back.run", pulled);
    Header broken;
    broken.contractBroken = true;
    Bytes stray = HeaderBytes(broken);
    stray.insert(stray.end(), {kDeliver, kDeliver, kPressStart, 0xA2, kStray, 0x07, 0xFE, 0xFF,
                               0x07, 0x01, 0, 0, 0, 0xAF, 0xAF});
    Save(dir / "stray-mode-reply-in-chip3.run", stray);
}

}  // namespace
}  // namespace tamblor::fuzz

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tamblor-fuzz-seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    tamblor::fuzz::PackageSeeds(root / "package");
    tamblor::fuzz::EngineSeeds(root / "engine");
    return 0;
}
