#include <ostream>

#include "Commands.h"

namespace tamblor {

int RunListCommand(const std::vector<std::string>&, const std::filesystem::path&, std::ostream&,
                   std::ostream& err) {
    err << "tamblor-cli list: this build has no HID transport\n";
    return 2;
}

}  // namespace tamblor
