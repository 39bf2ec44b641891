#include "editor/IControls.h"

#include "editor/IGraphics.h"
#include "plugin/IPlugBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

IRECT FrameArea(int x, int y, const IBitmap* bitmap) {
    return bitmap ? IRECT(x, y, x + bitmap->FrameWidth(), y + bitmap->FrameHeight())
                  : IRECT(x, y, x, y);
}

IBitmap Copy(const IBitmap* bitmap) {
    return bitmap ? *bitmap : IBitmap();
}

// Fine adjustment with shift or control held.
bool Fine(const IMouseMod* mod) {
    return mod && (mod->shift || mod->control);
}

// What a wheel turn of delta notches adds to a fader's or knob's normalised value.
double WheelStep(const IMouseMod* mod, int delta) {
    return delta * (Fine(mod) ? 0.001 : 0.01);
}

void CopyText(char* dest, int size, const char* src) {
    std::memset(dest, 0, size_t(size));
    if (src && *src) std::snprintf(dest, size_t(size), "%s", src);
}

} // namespace

int FrameFromValue(double value, int n) {
    if (n < 2) return 1;
    const int k = int((n - 1) * value + 0.5);
    if (k < 0) return 1;
    if (k >= n) return n;
    return k + 1;
}

// ---- Panel and bitmaps -----------------------------------------------------------------------

IPanelControl::IPanelControl(IPlugBase* plug, IRECT area, const IColor* color)
    : IControl(plug, area), mColor(color ? *color : COLOR_BLACK) {}

bool IPanelControl::Draw(IGraphics* graphics) {
    return graphics->FillIRect(&mColor, &mArea, &mBlending);
}

IBitmapControl::IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                               IChannelBlend::EBlendMethod method)
    : IControl(plug, FrameArea(x, y, bitmap), paramIdx, method), mBitmap(Copy(bitmap)) {}

bool IBitmapControl::Draw(IGraphics* graphics) {
    return graphics->DrawBitmap(&mBitmap, &mArea, FrameFromValue(mNormValue, mBitmap.frameCount),
                                &mBlending);
}

void ISwitchControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    if (mBitmap.frameCount >= 2)
        mNormValue += 1.0 / (mBitmap.frameCount - 1);
    else
        mNormValue += 1.0;
    if (mNormValue > 1.001) mNormValue = 0.0;
    SetDirty(true);
}

void ISwitchControl::OnMouseDblClick(int x, int y, IMouseMod* mod) {
    OnMouseDown(x, y, mod);
}

ISwitchPopUpControl::ISwitchPopUpControl(IPlugBase* plug, int x, int y, int paramIdx,
                                         const IBitmap* bitmap)
    : ISwitchControl(plug, x, y, paramIdx, bitmap) {
    mPromptDisabled = false;
}

void ISwitchPopUpControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    PromptUserInput();
    SetDirty(true);
}

void IContactControl::OnMouseUp(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    mNormValue = 0.0;
    SetDirty(true);
}

IBitmapOverlayControl::IBitmapOverlayControl(IPlugBase* plug, int x, int y, int paramIdx,
                                             const IBitmap* bitmap, IRECT overlayHitArea)
    : ISwitchControl(plug, x, y, paramIdx, bitmap), mOverlayHitArea(overlayHitArea) {}

bool IBitmapOverlayControl::Draw(IGraphics* graphics) {
    if (mNormValue < 0.5) {
        mHitArea = mOverlayHitArea;
        return true;
    }
    mHitArea = mArea;
    return IBitmapControl::Draw(graphics);
}

ISwitchFramesControl::ISwitchFramesControl(IPlugBase* plug, int x, int y, int paramIdx,
                                           const IBitmap* bitmap, bool imagesAreHorizontal,
                                           IChannelBlend::EBlendMethod method)
    : IBitmapControl(plug, x, y, paramIdx, bitmap, method) {
    mPromptDisabled = false;
    const int n = mBitmap.frameCount;
    IRECT* areas = mStateAreas.Resize(n);
    if (!areas) return;
    const float slice = float(imagesAreHorizontal ? mArea.W() : mArea.H()) / float(n);
    for (int i = 0; i < n; ++i) {
        if (imagesAreHorizontal) {
            const int left = mArea.left + int(float(i) * slice);
            areas[i] = IRECT(left, mArea.top, int(float(left) + slice), mArea.bottom);
        } else {
            const int top = mArea.top + int(float(i) * slice);
            areas[i] = IRECT(mArea.left, top, mArea.right, int(float(top) + slice));
        }
    }
}

void ISwitchFramesControl::OnMouseDown(int x, int y, IMouseMod* /*mod*/) {
    const int n = mStateAreas.GetSize();
    for (int i = 0; i < n; ++i) {
        if (mStateAreas.Get()[i].Contains(x, y)) {
            mNormValue = n > 1 ? double(i) / (n - 1) : 0.0;
            break;
        }
    }
    SetDirty(true);
}

const IRECT* ISwitchFramesControl::GetStateArea(int i) const {
    return i >= 0 && i < mStateAreas.GetSize() ? mStateAreas.Get() + i : nullptr;
}

IInvisibleSwitchControl::IInvisibleSwitchControl(IPlugBase* plug, IRECT area, int paramIdx)
    : IControl(plug, area, paramIdx, IChannelBlend::kBlendClobber) {}

void IInvisibleSwitchControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    mNormValue = mNormValue < 0.5 ? 1.0 : 0.0;
    SetDirty(true);
}

// ---- Radio buttons ---------------------------------------------------------------------------

IRadioButtonsControl::IRadioButtonsControl(IPlugBase* plug, IRECT area, int paramIdx, int nButtons,
                                           const IBitmap* bitmap, EDirection direction,
                                           bool reverse)
    : IControl(plug, area, paramIdx), mBitmap(Copy(bitmap)) {
    if (nButtons < 1) return;
    IRECT* buttons = mButtonAreas.Resize(nButtons);
    if (!buttons) return;
    const int bh = int(double(mBitmap.height) / mBitmap.frameCount);
    const int bw = mBitmap.width;
    // One button has no gaps to spread.
    const int gaps = nButtons > 1 ? nButtons - 1 : 1;
    if (direction == kHorizontal) {
        const int s = int(double(area.W() - nButtons * bw) / gaps);
        int edge = reverse ? area.right : area.left;
        for (int i = 0; i < nButtons; ++i) {
            if (reverse) {
                buttons[i] = IRECT(edge - bw, area.top, edge, area.top + bh);
                edge -= bw + s;
            } else {
                buttons[i] = IRECT(edge, area.top, edge + bw, area.top + bh);
                edge += bw + s;
            }
        }
    } else {
        const int s = int(double(area.H() - nButtons * bh) / gaps);
        int edge = reverse ? area.bottom : area.top;
        for (int i = 0; i < nButtons; ++i) {
            if (reverse) {
                buttons[i] = IRECT(area.left, edge - bh, area.left + bw, edge);
                edge -= bh + s;
            } else {
                buttons[i] = IRECT(area.left, edge, area.left + bw, edge + bh);
                edge += bh + s;
            }
        }
    }
}

const IRECT* IRadioButtonsControl::GetButtonArea(int i) const {
    return i >= 0 && i < mButtonAreas.GetSize() ? mButtonAreas.Get() + i : nullptr;
}

void IRadioButtonsControl::OnMouseDown(int x, int y, IMouseMod* mod) {
    if (mod && mod->rightButton) {
        PromptUserInput();
        return;
    }
    const int n = NButtons();
    for (int i = 0; i < n; ++i) {
        if (mButtonAreas.Get()[i].Contains(x, y)) {
            mNormValue = n > 1 ? double(i) / (n - 1) : 0.0;
            break;
        }
    }
    SetDirty(true);
}

bool IRadioButtonsControl::Draw(IGraphics* graphics) {
    const int n = NButtons();
    int active = int((n - 1) * mNormValue + 0.5);
    if (active < 0) active = 0;
    if (active > n - 1) active = n - 1;
    for (int i = 0; i < n; ++i)
        graphics->DrawBitmap(&mBitmap, mButtonAreas.Get() + i, i == active ? 2 : 1, &mBlending);
    return true;
}

// ---- Fader -----------------------------------------------------------------------------------

IFaderControl::IFaderControl(IPlugBase* plug, int x, int y, int len, int paramIdx,
                             const IBitmap* bitmap, EDirection direction, bool onlyHandle)
    : IControl(plug, IRECT(), paramIdx), mLen(len), mBitmap(Copy(bitmap)), mDirection(direction),
      mOnlyHandle(onlyHandle) {
    if (direction == kVertical) {
        mHandleHeadroom = mBitmap.height;
        mArea = mHitArea = IRECT(x, y, x + mBitmap.width, y + len);
    } else {
        mHandleHeadroom = mBitmap.width;
        mArea = mHitArea = IRECT(x, y, x + len, y + mBitmap.height);
    }
}

IRECT IFaderControl::GetHandleRECT(double value) const {
    if (value < 0.0) value = mNormValue;
    IRECT r(mArea.left, mArea.top, mArea.left + mBitmap.width, mArea.top + mBitmap.height);
    const int travel = mLen - mHandleHeadroom;
    if (mDirection == kVertical) {
        const int offset = int((1.0 - value) * travel);
        r.top += offset;
        r.bottom += offset;
    } else {
        const int offset = int(value * travel);
        r.left += offset;
        r.right += offset;
    }
    return r;
}

void IFaderControl::SnapToMouse(int x, int y) {
    const int travel = mLen - mHandleHeadroom;
    // A handle as long as the whole fader leaves nothing to travel over.
    if (travel > 0) {
        const int half = mHandleHeadroom / 2; // whole pixels, as the handle is drawn
        if (mDirection == kVertical)
            mNormValue = 1.0 - double(y - mArea.top - half) / travel;
        else
            mNormValue = double(x - mArea.left - half) / travel;
    }
    SetDirty(true);
}

void IFaderControl::OnMouseDown(int x, int y, IMouseMod* mod) {
    if (mod && mod->rightButton) {
        PromptUserInput();
        return;
    }
    SnapToMouse(x, y);
}

void IFaderControl::OnMouseDrag(int x, int y, int /*dX*/, int /*dY*/, IMouseMod* /*mod*/) {
    SnapToMouse(x, y);
}

void IFaderControl::OnMouseWheel(int /*x*/, int /*y*/, IMouseMod* mod, int delta) {
    mNormValue += WheelStep(mod, delta);
    SetDirty(true);
}

bool IFaderControl::Draw(IGraphics* graphics) {
    IRECT handle = GetHandleRECT();
    return graphics->DrawBitmap(&mBitmap, &handle, 1, &mBlending);
}

bool IFaderControl::IsHit(int x, int y) {
    return mOnlyHandle ? GetHandleRECT().Contains(x, y) : mHitArea.Contains(x, y);
}

// ---- Knobs -----------------------------------------------------------------------------------

IKnobControl::IKnobControl(IPlugBase* plug, IRECT area, int paramIdx, EDirection direction,
                           double gearing)
    : IControl(plug, area, paramIdx), mDirection(direction), mGearing(gearing) {}

void IKnobControl::OnMouseDrag(int /*x*/, int /*y*/, int dX, int dY, IMouseMod* mod) {
    const double gearing = Fine(mod) ? mGearing * kFineFactor : mGearing;
    // An empty span or zero gearing would divide by zero: the value stays.
    if (mDirection == kVertical) {
        const int span = mArea.top - mArea.bottom;
        if (span != 0 && gearing != 0.0) mNormValue += double(dY) / double(span) / gearing;
    } else {
        const int span = mArea.right - mArea.left;
        if (span != 0 && gearing != 0.0) mNormValue += double(dX) / double(span) / gearing;
    }
    SetDirty(true);
}

void IKnobControl::OnMouseWheel(int /*x*/, int /*y*/, IMouseMod* mod, int delta) {
    mNormValue += WheelStep(mod, delta);
    SetDirty(true);
}

bool IKnobControl::OnKeyDown(int /*x*/, int /*y*/, int key) {
    double target;
    switch (key) {
    case KEY_UPARROW:
    case KEY_RIGHTARROW:
        target = mNormValue + WheelStep(nullptr, 1);
        break;
    case KEY_DOWNARROW:
    case KEY_LEFTARROW:
        target = mNormValue + WheelStep(nullptr, -1);
        break;
    case KEY_HOME:
        target = mLowerClamp;
        break;
    case KEY_END:
        target = mUpperClamp;
        break;
    default:
        return false;
    }
    target = std::min(std::max(target, mLowerClamp), mUpperClamp);
    // A key at an end changes nothing, and the host hears no empty gesture.
    if (target == mNormValue) return true;
    IGraphics* gui = GetGUI();
    if (gui && mParamIndex >= 0)
        gui->SetParameterFromGUI(mParamIndex, target);
    else
        SetValueFromUserInput(target);
    return true;
}

IKnobLineControl::IKnobLineControl(IPlugBase* plug, IRECT area, int paramIdx, const IColor* color,
                                   double innerRadius, double outerRadius, double minAngle,
                                   double maxAngle, EDirection direction, double gearing)
    : IKnobControl(plug, area, paramIdx, direction, gearing), mColor(color ? *color : COLOR_BLACK),
      mMinAngle(float(minAngle)), mMaxAngle(float(maxAngle)), mInnerRadius(float(innerRadius)),
      mOuterRadius(float(outerRadius)) {
    if (outerRadius == 0.0) mOuterRadius = 0.5f * float(area.W());
    mBlending = IChannelBlend(IChannelBlend::kBlendClobber);
}

bool IKnobLineControl::Draw(IGraphics* graphics) {
    const double angle = mMinAngle + mNormValue * (mMaxAngle - mMinAngle);
    const float cx = float((mArea.left + mArea.right) * 0.5);
    const float cy = float((mArea.top + mArea.bottom) * 0.5);
    const float s = float(std::sin(angle)), c = float(std::cos(angle));
    return graphics->DrawLine(&mColor, cx + mInnerRadius * s, cy - mInnerRadius * c,
                              cx + mOuterRadius * s, cy - mOuterRadius * c, &mBlending, true);
}

IKnobRotaterControl::IKnobRotaterControl(IPlugBase* plug, int x, int y, int paramIdx,
                                         const IBitmap* bitmap, double minAngle, double maxAngle,
                                         int yOffsetZeroDeg, EDirection direction, double gearing)
    : IKnobControl(plug,
                   bitmap ? IRECT(x, y, x + bitmap->width, y + bitmap->height) : IRECT(x, y, x, y),
                   paramIdx, direction, gearing),
      mBitmap(Copy(bitmap)), mMinAngle(minAngle), mMaxAngle(maxAngle), mYOffset(yOffsetZeroDeg) {}

bool IKnobRotaterControl::Draw(IGraphics* graphics) {
    const double angle = mMinAngle + mNormValue * (mMaxAngle - mMinAngle);
    return graphics->DrawRotatedBitmap(&mBitmap, (mArea.left + mArea.right) / 2,
                                       (mArea.top + mArea.bottom) / 2, angle, mYOffset, &mBlending);
}

IKnobMultiControl::IKnobMultiControl(IPlugBase* plug, int x, int y, int paramIdx,
                                     const IBitmap* bitmap, EDirection direction, double gearing)
    : IKnobControl(plug, FrameArea(x, y, bitmap), paramIdx, direction, gearing),
      mBitmap(Copy(bitmap)) {}

bool IKnobMultiControl::Draw(IGraphics* graphics) {
    return graphics->DrawBitmap(&mBitmap, &mArea, FrameFromValue(mNormValue, mBitmap.frameCount),
                                &mBlending);
}

IKnobRotatingMaskControl::IKnobRotatingMaskControl(IPlugBase* plug, int x, int y, int paramIdx,
                                                   const IBitmap* base, const IBitmap* mask,
                                                   const IBitmap* top, double minAngle,
                                                   double maxAngle, EDirection direction,
                                                   double gearing)
    : IKnobControl(plug, base ? IRECT(x, y, x + base->width, y + base->height) : IRECT(x, y, x, y),
                   paramIdx, direction, gearing),
      mBase(Copy(base)), mMask(Copy(mask)), mTop(Copy(top)), mMinAngle(minAngle),
      mMaxAngle(maxAngle) {}

bool IKnobRotatingMaskControl::Draw(IGraphics* graphics) {
    const double angle = mMinAngle + mNormValue * (mMaxAngle - mMinAngle);
    return graphics->DrawRotatedMask(&mBase, &mMask, &mTop, mArea.left, mArea.top, angle,
                                     &mBlending);
}

// ---- Text ------------------------------------------------------------------------------------

ITextControl::ITextControl(IPlugBase* plug, IRECT area, const IText* style, const char* text)
    : IControl(plug, area), mStr(text) {
    if (style) mTextStyle = *style;
}

bool ITextControl::Draw(IGraphics* graphics) {
    if (!mStr.GetLength()) return true;
    return graphics->DrawIText(&mTextStyle, mStr.Get(), &mArea);
}

void ITextControl::SetTextFromPlug(const char* text) {
    if (!text) text = "";
    if (std::strcmp(mStr.Get(), text) != 0) {
        SetDirty(false);
        mStr.Set(text);
    }
}

ICaptionControl::ICaptionControl(IPlugBase* plug, IRECT area, int paramIdx, const IText* style,
                                 bool showParamLabel)
    : ITextControl(plug, area, style, ""), mShowParamLabel(showParamLabel) {
    mParamIndex = paramIdx;
}

void ICaptionControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* mod) {
    if (mod && (mod->leftButton || mod->rightButton)) PromptUserInput();
}

void ICaptionControl::OnMouseDblClick(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    PromptUserInput();
}

bool ICaptionControl::Draw(IGraphics* graphics) {
    const IParam* param = GetParam();
    if (param) {
        char display[kMaxTextLen];
        param->GetDisplayForHost(param->Value(), false, display, sizeof(display), true);
        mStr.Set(display);
        if (mShowParamLabel) {
            mStr.Append(" ");
            mStr.Append(param->GetLabelForHost());
        }
    }
    return ITextControl::Draw(graphics);
}

// ---- Link ------------------------------------------------------------------------------------

IURLControl::IURLControl(IPlugBase* plug, IRECT area, const char* url, const char* backupURL,
                         const char* errMsgOnFailure)
    : IControl(plug, area) {
    CopyText(mURL, kMaxURLLen, url);
    CopyText(mBackupURL, kMaxURLLen, backupURL);
    CopyText(mErrMsg, kMaxMessageLen, errMsgOnFailure);
}

void IURLControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    IGraphics* gui = GetGUI();
    if (!gui) return;
    if (mURL[0] && gui->OpenURL(mURL, mErrMsg, nullptr, nullptr)) return;
    if (mBackupURL[0]) gui->OpenURL(mBackupURL, mErrMsg, nullptr, nullptr);
}

// ---- File selector ---------------------------------------------------------------------------

IFileSelectorControl::IFileSelectorControl(IPlugBase* plug, IRECT area, int paramIdx,
                                           const IBitmap* bitmap, EFileAction action,
                                           const char* dir, const char* extensions)
    : IControl(plug, area, paramIdx), mBitmap(Copy(bitmap)), mDir(dir), mExtensions(extensions),
      mFileAction(action) {}

void IFileSelectorControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    IGraphics* gui = GetGUI();
    if (!gui) return;
    mState = kFSSelecting;
    SetDirty(false);
    gui->PromptForFile(&mFile, mFileAction, &mDir, mExtensions.Get());
    mNormValue += 1.0;
    if (mNormValue > 1.0) mNormValue = 0.0;
    mState = kFSDone;
    SetDirty(true);
}

bool IFileSelectorControl::Draw(IGraphics* graphics) {
    if (mState != kFSSelecting) return true;
    return graphics->DrawBitmap(&mBitmap, &mArea, 0, 0, nullptr);
}

bool IFileSelectorControl::IsDirty() {
    if (mNeedsDraw) return true;
    if (mState == kFSDone) {
        mState = kFSNone;
        return true;
    }
    return false;
}
