#include "effect/ZerubEditor.h"

// The editor framework joins the build later; until then the effect runs without an editor.
IGraphics* BuildZerubEditor(IPlugAU* /*plug*/) { return nullptr; }
