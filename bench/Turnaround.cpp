// (b) Turnaround: from a report arriving on the engine's reader thread to the next report
// written, with the dock on a thread of its own at the far end of a socketpair.
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "Bench.h"
#include "SocketpairBus.h"
#include "app/TamblorEngine.h"
#include "dock/DockLogic.h"

namespace tamblor::bench {
namespace {

void Measure(const char* name, const char* package) {
    SocketpairBus bus;
    NullUi ui;
    CDockLogic logic;
    std::atomic<bool> restarted{false};
    std::atomic<bool> stop{false};
    std::thread dock([&] {
        std::array<std::uint8_t, 64> report{};
        while (!stop) {
            pollfd fd{bus.DockDescriptor(), POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0) continue;
            if (::recv(bus.DockDescriptor(), report.data(), report.size(), 0) <= 0) break;
            const auto actions = logic.OnHostReport(report);
            for (const auto& reply : actions.replies)
                ::send(bus.DockDescriptor(), reply.data(), reply.size(), 0);
            if (!std::holds_alternative<std::monostate>(actions.effect)) restarted = true;
        }
    });
    {
        CTamblorEngine engine(bus, ui);
        engine.OnInitDialog(package);
        while (!ui.offered) std::this_thread::yield();
        engine.OnStartUpgrade();
        // Until the dock restarts into its boot loader, every report is a round trip.
        while (!restarted) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        engine.OnDestroy();
    }
    stop = true;
    dock.join();
    const auto samples = bus.Turnarounds();
    std::printf("  %-34s %6zu samples  p50 %6.2f us  p99 %6.2f us  max %7.2f us\n", name,
                samples.size(), Percentile(samples, 0.50), Percentile(samples, 0.99),
                Percentile(samples, 1.0));
}

}  // namespace

void RunTurnaround(const char* selector2Package, const char* selector3Package) {
    std::printf("(b) turnaround, report arrived on the reader -> next report written\n");
    Measure("selector '2' (Chip 2, both files)", selector2Package);
    Measure("selector '3' (Chip 1 with commands)", selector3Package);
}

}  // namespace tamblor::bench
