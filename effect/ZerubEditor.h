// The overdrive's editor: a fixed 333 x 511 bitmap window with the Gain and Level knobs, the
// bypass switch, the maker's link and the HQ switch.
#pragma once

#include "editor/IGraphics.h"
#include "effect/ZerubBundle.h"

class IPlugBase;

// Builds the effect's editor for plug (size, background, controls, link); the caller hands the
// result to AttachGraphics.
IGraphics* BuildZerubEditor(IPlugBase* plug);

// A new platform editor for plug of w x h pixels at fps frames per second (0: the default),
// set to find its images in the effect's bundle. Each build supplies its own: the component a
// Cocoa editor (ZerubGraphicsCocoa.mm), tests and benchmarks a windowless one
// (ZerubGraphicsHeadless.cpp).
IGraphics* MakeGraphics(IPlugBase* plug, int w, int h, int fps);
