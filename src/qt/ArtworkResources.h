#pragma once

namespace tamblor {

// Makes the window's pictures (":/tamblor/...") available. Safe to call more than once.
void InitArtworkResources();

}  // namespace tamblor
