#include "ArtworkResources.h"

#include <QtGlobal>

// The resource initialiser must be called from the global namespace.
static void InitTamblorArt() { Q_INIT_RESOURCE(tamblor_art); }

namespace tamblor {

void InitArtworkResources() {
    static const bool done = (InitTamblorArt(), true);
    (void)done;
}

}  // namespace tamblor
