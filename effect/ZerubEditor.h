// The overdrive's editor: a fixed 333 x 511 bitmap window with the Gain and Level knobs, the
// bypass switch and the maker's link.
#pragma once

class IPlugAU;
class IGraphics;

// Builds the effect's editor for plug (size, background, controls, link). Returns null when
// the build has no editor framework; the caller hands the result to AttachGraphics.
IGraphics* BuildZerubEditor(IPlugAU* plug);
