// Builds without the Cocoa editor: the editor subcommand is refused as missing.
#include "host/EditorCommand.h"

bool EditorAvailable() {
    return false;
}

bool EditorDisplayAvailable() {
    return false;
}

Status RunEditor(const EditorOptions&, std::ostream&) {
    return Status::Fail("editor is not available in this build");
}
