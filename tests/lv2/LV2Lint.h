// What distribution linters ask of an LV2 plug-in's description, checked through lilv: the
// maintainer reachable by mail, a short description, the live feature, a comment on every port,
// whole-number ranges on toggles and integer ports; and what hosts need: no control port in a
// port group (GStreamer reads every grouped port as an audio channel).
#pragma once

#include <lilv/lilv.h>

#include <string>
#include <vector>

// One line per finding ("port 4 (gain): no rdfs:comment"); empty when the plug-in is clean.
std::vector<std::string> LV2LintFindings(LilvWorld* world, const LilvPlugin* plugin);
