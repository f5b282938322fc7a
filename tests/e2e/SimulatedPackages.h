#pragma once

#include <memory>

#include "dock/DockConfig.h"
#include "dock/DockExpectation.h"
#include "package/PackageFormat.h"
#include "package/SyntheticImages.h"

namespace tamblor::test {

// The packages the build makes for these tests: the synthetic images, version V103, and a
// start selector each.
struct SimulatedPackage {
    const char* path;
    char selector;
};

inline constexpr SimulatedPackage kShipped{TAMBLOR_SHIPPED_PACKAGE, '1'};
inline constexpr SimulatedPackage kSelector2{TAMBLOR_SELECTOR2_PACKAGE, '2'};
inline constexpr SimulatedPackage kSelector3{TAMBLOR_SELECTOR3_PACKAGE, '3'};

// What the dock should receive from a package of the synthetic images, worked out from the
// images themselves rather than read back through the loader under test.
inline std::shared_ptr<const DockExpectation> SyntheticExpectation(char selector) {
    auto expectation = std::make_shared<DockExpectation>();
    expectation->chip3 = MakeSyntheticImage(kSegChip3);
    expectation->chip2[0] = MakeSyntheticImage(kSegChip2File1);
    expectation->chip2[1] = MakeSyntheticImage(kSegChip2File2);
    expectation->chip1 = MakeSyntheticImage(kSegChip1);
    expectation->version = {'V', 1, 0, 3};
    expectation->startSelector = selector;
    return expectation;
}

// `config` with the dock told what `package` should put into it.
inline DockConfig Judging(DockConfig config, const SimulatedPackage& package) {
    config.expected = SyntheticExpectation(package.selector);
    return config;
}

}  // namespace tamblor::test
