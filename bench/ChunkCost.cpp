// (a) Engine cost per chunk: whole selector '2' and '3' runs with the dock's logic answering
// at once on the same thread, so nothing but the engine and the dock logic is timed.
#include <cstdio>
#include <deque>
#include <memory>

#include "Bench.h"
#include "app/TamblorEngine.h"
#include "dock/DockLogic.h"

namespace tamblor::bench {
namespace {

// Replies of the dock logic, queued for the loop below to hand to the engine.
class LoopbackBus : public IHidBus {
  public:
    explicit LoopbackBus(CDockLogic& logic) : m_logic(logic) {}

    std::vector<HidInterfaceInfo> EnumerateInterfaces() override {
        const auto& c = m_logic.Config();
        return {{"loopback", HidAttributes{c.vendorId, c.productId, c.versionNumber},
                 HidCaps{c.usagePage, c.usage, 64, 64}}};
    }
    std::unique_ptr<IHidReadChannel> OpenRead(const std::string&) override {
        return std::make_unique<IdleRead>();
    }
    std::unique_ptr<IHidWriteChannel> OpenWrite(const std::string&) override {
        return std::make_unique<Write>(*this);
    }
    void SetDeviceChangeSink(DeviceChangeSink) override {}

    std::deque<Report> replies;
    bool restarted = false;
    std::uint64_t chunks = 0;

  private:
    class IdleRead : public IHidReadChannel {
      public:
        int ReadReport(std::span<std::uint8_t>) override { return -1; }
        void Cancel() override {}
    };
    class Write : public IHidWriteChannel {
      public:
        explicit Write(LoopbackBus& bus) : m_bus(bus) {}
        std::uint32_t WriteReport(std::span<const std::uint8_t> report) override {
            if (report[2] != 0xFE || report[3] != 0xFF) ++m_bus.chunks;
            const auto actions = m_bus.m_logic.OnHostReport(report);
            for (const auto& reply : actions.replies) m_bus.replies.push_back(reply);
            if (!std::holds_alternative<std::monostate>(actions.effect)) m_bus.restarted = true;
            return 0;
        }

      private:
        LoopbackBus& m_bus;
    };

    CDockLogic& m_logic;
};

void Measure(const char* name, const char* package) {
    constexpr int kRuns = 5;
    double best = 1e30;
    std::uint64_t chunks = 0;
    for (int run = 0; run < kRuns; ++run) {
        CDockLogic logic;
        LoopbackBus bus(logic);
        NullUi ui;
        CTamblorEngine engine(bus, ui);
        engine.LoadPackage(package);
        engine.StartIoThreads();
        engine.OnScan();
        // Start-up exchange: mode and version.
        while (!bus.replies.empty()) {
            const auto reply = bus.replies.front();
            bus.replies.pop_front();
            engine.OnDeviceReport(reply);
        }
        bus.chunks = 0;
        const auto start = Clock::now();
        engine.OnStartUpgrade();
        // Every chip written in AP mode, up to the restart into the boot loader.
        while (!bus.replies.empty() && !bus.restarted) {
            const auto reply = bus.replies.front();
            bus.replies.pop_front();
            engine.OnDeviceReport(reply);
        }
        const auto elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start);
        chunks = bus.chunks;
        best = std::min(best, elapsed.count() / static_cast<double>(chunks));
    }
    std::printf("  %-34s %6llu chunks  %6.3f us/chunk (best of %d runs)\n", name,
                static_cast<unsigned long long>(chunks), best, kRuns);
}

}  // namespace

void RunChunkCost() {
    std::printf("(a) engine cost per chunk, zero latency, engine + dock logic on one thread\n");
    Measure("selector '2' (Chip 2, both files)", TAMBLOR_SELECTOR2_PACKAGE);
    Measure("selector '3' (Chip 1, paged)", TAMBLOR_SELECTOR3_PACKAGE);
}

}  // namespace tamblor::bench
