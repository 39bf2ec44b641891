// list and info: what the Audio Unit interface says about the components on the search path.
// Written against the host-side calls only (AudioComponentFindNext, AudioComponentInstanceNew,
// AudioUnitGetProperty, ...), as a host on macOS would be; nothing here knows the component's
// own code.
#pragma once

#include "host/Demo.h"
#include "host/Status.h"

#include <ostream>
#include <string>

// One line per effect component found: type, subtype, manufacturer, version, name.
Status ListComponents(std::ostream& out);

// Identity, channel configurations, parameters, latency, tail time and factory presets of one
// component: the bundle at componentPath when it is not empty, else the first Zerub on the
// search path.
// With hq, the quality setting is HQ before anything is read (its latency shows).
Status DescribeComponent(const std::string& componentPath, std::ostream& out, bool hq = false);

// Makes Audio Unit renderers over the bundle at componentPath (empty: the search path).
RendererFactory ComponentRenderers(const std::string& componentPath);

// False when this build has no platform library (list and info then only refuse).
bool ComponentsAvailable();
