// Build step: writes the LV2 bundle's Turtle files from a live instance of the product.
// Usage: zerub-lv2-ttl OUTDIR BINARY [UIBINARY] (file names of the plug-in's shared object and
// of its UI's in the bundle).
#include "lv2/IPlugLV2_ttl.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s OUTDIR BINARY [UIBINARY]\n", argv[0]);
        return 2;
    }
    IPlugLV2* plug = MakePlug(nullptr);
    if (!plug) {
        std::fprintf(stderr, "%s: cannot create the plug-in\n", argv[0]);
        return 1;
    }
    const bool written =
        WriteLV2Turtle(plug, LV2PluginURIBase(), argv[2], argv[1], argc == 4 ? argv[3] : nullptr);
    delete plug;
    if (!written) {
        std::fprintf(stderr, "%s: cannot write the Turtle files into %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
