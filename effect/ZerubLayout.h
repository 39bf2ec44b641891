// The editor's layout in editor pixels (the 1x set): where each control sits and the size of its
// artwork. The editor (ZerubEditor.cpp) places its controls from it and the artwork program
// (resources/img/draw_artwork.cpp) draws its pictures to it, so the two cannot drift apart. It
// includes nothing, so the artwork program builds without the rest of the project.
#pragma once

namespace zerub_layout {

constexpr int kWidth = 333, kHeight = 511; // the editor, and the background image

constexpr int kKnobSize = 62, kKnobFrames = 31; // each knob frame is kKnobSize square
constexpr int kGainX = 164, kGainY = 172;
constexpr int kLevelX = 62, kLevelY = 62;

// The bypass switch strip and the HQ key beside it, on the bottom plate; two frames each.
constexpr int kSwitchFrames = 2;
constexpr int kSwitchX = 0, kSwitchY = 481, kSwitchW = 206, kSwitchH = 30;
constexpr int kHQX = 206, kHQY = 481, kHQW = 22, kHQH = 30;

// The maker's link: the strip from kLinkLeft to the right edge, kLinkTop to the bottom edge is
// what shows; its hit area runs kLinkHitDepth down from kLinkTop (clipped by the editor).
constexpr int kLinkLeft = 233, kLinkTop = 484, kLinkBottom = kHeight;
constexpr int kLinkHitDepth = 100;

} // namespace zerub_layout
