#pragma once

#include "picture/SBxPicBuf.h"

// The pictures of the open document. `source` is the opened picture and the
// base of every processing command, `result` the picture shown and saved
// (a copy of `source` after an open), `mask` the alpha of the opened file
// (empty when it has none). The desktop program adds its drawing surface.
struct ImageDocument {
  SBxPicBuf source;
  SBxPicBuf result;
  SBxPicBuf mask;
};

// Frees the three pictures and leaves them empty.
void ReleaseDocument(ImageDocument* doc);
