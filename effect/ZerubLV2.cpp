// The LV2 bundle's identity: its plug-ins, state key and presets live under the maker's address.
#include "lv2/IPlugLV2.h"

const char* LV2PluginURIBase() {
    return "https://www.quillmoor.com/plugins/zerub";
}
