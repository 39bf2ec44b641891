// A plug-in base with three parameters of different types and no host behind it, for the
// fuzz targets of the base's readers.
#pragma once

#include "plugin/IPlugHostless.h"

class FuzzPlug : public IPlugHostless {
public:
    explicit FuzzPlug(bool chunks = false)
        : IPlugHostless(3, "1-1 2-2", 3, "Fuzz", "", "", 0x10000, 1, 2, 0, false, chunks, false,
                        kAPIAU) {
        GetParam(0)->InitDouble("a", 0.5, 0.0, 1.0, 0.01);
        GetParam(1)->InitInt("b", 0, -5, 5);
        GetParam(2)->InitBool("c", false);
    }
};
