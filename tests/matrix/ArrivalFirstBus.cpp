#include "ArrivalFirstBus.h"

#include <utility>
#include <vector>

namespace tamblor::test {

void CArrivalFirstBus::SetDeviceChangeSink(DeviceChangeSink sink) {
    if (!sink) {
        m_inner.SetDeviceChangeSink({});
        return;
    }
    // The inner bus calls its sink from one thread at a time, so the held removals need no lock.
    m_inner.SetDeviceChangeSink([sink = std::move(sink), held = std::vector<DeviceChange>{}](
                                    const DeviceChange& change) mutable {
        if (change.kind == DeviceChangeKind::Removal) {
            held.push_back(change);
            return;
        }
        sink(change);
        for (const auto& removal : held) sink(removal);
        held.clear();
    });
}

}  // namespace tamblor::test
