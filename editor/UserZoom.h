// The zoom a user chooses in the editor, on top of the scale the host or the desktop asks for,
// and the small settings file that remembers it for the next editor the same user opens.
//
// The file is $XDG_CONFIG_HOME/MAKER/PRODUCT.conf ($HOME/.config when XDG_CONFIG_HOME is unset,
// empty or not an absolute path), one "key=value" line per setting; only "zoom=PERCENT" is read.
// It is replaced whole (a temporary beside it, then a rename), so a reader never sees half of
// it, and read defensively: a missing, unreadable, oversized or garbled file, or a value that is
// no zoom step, reads as 100 %.
#pragma once

#include <string>

// The steps, in percent, smallest first.
constexpr int kUserZoomSteps[] = {100, 125, 150, 175, 200};
constexpr int kNumUserZoomSteps = 5;
constexpr int kDefaultUserZoom = 100;
// The largest settings file read; anything larger is not ours.
constexpr long kMaxUserSettingsBytes = 4096;

bool IsUserZoomStep(int percent);
// The step next to percent (itself made the nearest step first) up when direction > 0, down
// when direction < 0, the same at either end.
int NextUserZoomStep(int percent, int direction);
// The factor the editor draws at: hostScale times percent, within [minScale, maxScale]. A host
// scale that is not a positive finite number counts as minScale.
double ZoomedScale(double hostScale, int percent, double minScale, double maxScale);

// The settings file of maker's product for this user; "" when neither XDG_CONFIG_HOME nor HOME
// gives an absolute folder. '/' in either name becomes '_'.
std::string UserSettingsPath(const char* maker, const char* product);
// The zoom the file holds, or kDefaultUserZoom.
int ReadUserZoom(const std::string& path);
// Writes the zoom, making the folders on the way; false (and the old file as it was) when any
// step fails.
bool WriteUserZoom(const std::string& path, int percent);
