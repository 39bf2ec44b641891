#include "editor/IGraphics.h"

#include "editor/IControls.h"
#include "editor/IQualitySwitch.h"
#include "plugin/IPlugBase.h"
#include "raster/lice.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

IGraphics::IGraphics(IPlugBase* plug, int width, int height, int fps)
    : mOwnerPlug(plug), mWidth(width), mHeight(height), mFrameRate(fps > 0 ? fps : kDefaultFPS) {}

IGraphics::~IGraphics() {
    delete mKeyFallbackControl;
    DeleteControls();
    DeleteImageSources();
    delete mBackBuffer;
    delete mScratchBitmap;
}

void IGraphics::DeleteControls() {
    ForgetBackdrop();
    mControlList.Empty(true);
}

// ---- Control list ----------------------------------------------------------------------------

int IGraphics::AttachControl(IControl* control) {
    if (!control) return -1;
    if (!mControlList.Add(control)) { // out of memory: the editor cannot own it
        delete control;
        return -1;
    }
    return mControlList.GetSize() - 1;
}

void IGraphics::AttachBackground(int id, const char* name) {
    IBitmap bg = LoadIBitmap(id, name, 1, false);
    IControl* control = new IBitmapControl(mOwnerPlug, 0, 0, -1, &bg, IChannelBlend::kBlendClobber);
    ForgetBackdrop();
    if (!mControlList.Insert(0, control)) delete control;
}

void IGraphics::AttachPanelBackground(const IColor* color) {
    IControl* control = new IPanelControl(mOwnerPlug, IRECT(0, 0, mWidth, mHeight), color);
    ForgetBackdrop();
    if (!mControlList.Insert(0, control)) delete control;
}

void IGraphics::AttachKeyCatcher(IControl* control) {
    if (control == mKeyFallbackControl) return;
    delete mKeyFallbackControl;
    mKeyFallbackControl = control;
}

void IGraphics::HideControl(int paramIdx, bool hide) {
    for (int i = 0; i < NControls(); ++i) {
        IControl* c = GetControl(i);
        if (c->ParamIdx() == paramIdx) c->Hide(hide);
    }
}

void IGraphics::GrayOutControl(int paramIdx, bool gray) {
    for (int i = 0; i < NControls(); ++i) {
        IControl* c = GetControl(i);
        if (c->ParamIdx() == paramIdx) c->GrayOut(gray);
    }
}

void IGraphics::ClampControl(int paramIdx, double lo, double hi, bool normalized) {
    if (!normalized) {
        const IParam* param = mOwnerPlug ? mOwnerPlug->GetParam(paramIdx) : nullptr;
        if (!param) return;
        lo = param->GetNormalized(lo);
        hi = param->GetNormalized(hi);
    }
    for (int i = 0; i < NControls(); ++i) {
        IControl* c = GetControl(i);
        if (c->ParamIdx() == paramIdx) c->Clamp(lo, hi);
    }
}

void IGraphics::SetStrictDrawing(bool strict) {
    mStrictRedraw = strict;
    SetAllControlsDirty();
}

void IGraphics::SetAllControlsDirty() {
    for (int i = 0; i < NControls(); ++i)
        GetControl(i)->SetDirty(false);
}

void IGraphics::AssignParamNameToolTips() {
    for (int i = 0; i < NControls(); ++i) {
        IControl* c = GetControl(i);
        const IParam* param = c->GetParam();
        if (param) c->SetTooltip(param->GetNameForHost());
    }
}

void IGraphics::OnGUIIdle() {
    for (int i = 0; i < NControls(); ++i)
        GetControl(i)->OnGUIIdle();
}

// ---- Parameter synchronisation ---------------------------------------------------------------

void IGraphics::SetParameterFromPlug(int paramIdx, double value, bool normalized) {
    // A host may hand over anything; a value that is not finite is not a position of any control.
    if (!std::isfinite(value)) return;
    if (!normalized) {
        const IParam* param = mOwnerPlug ? mOwnerPlug->GetParam(paramIdx) : nullptr;
        if (!param) return;
        value = param->GetNormalized(value);
        if (!std::isfinite(value)) return;
    }
    for (int i = 0; i < NControls(); ++i) {
        IControl* c = GetControl(i);
        if (c->ParamIdx() == paramIdx) c->SetValueFromPlug(value);
        const int aux = c->AuxParamIdx(paramIdx);
        if (aux >= 0) c->SetAuxParamValueFromPlug(aux, value);
    }
}

void IGraphics::SetControlFromPlug(int controlIdx, double normalizedValue) {
    IControl* c = GetControl(controlIdx);
    if (c) c->SetValueFromPlug(normalizedValue);
}

void IGraphics::SetParameterFromGUI(int paramIdx, double normalizedValue) {
    if (!std::isfinite(normalizedValue)) return;
    const EditGesture gesture = BeginEditGesture(paramIdx);
    for (int i = 0; i < NControls(); ++i) {
        IControl* c = GetControl(i);
        if (c->ParamIdx() == paramIdx) c->SetValueFromUserInput(normalizedValue);
    }
    EndEditGesture(paramIdx, gesture);
}

void IGraphics::SetQualityFromPlug(int quality) {
    if (quality == mQuality) return;
    mQuality = quality;
    for (int i = 0; i < NControls(); ++i)
        if (IControl* c = GetControl(i); dynamic_cast<IQualitySwitchControl*>(c))
            c->SetDirty(false);
}

// ---- Prompts ---------------------------------------------------------------------------------

void IGraphics::PromptUserInput(IControl* control, IParam* param, IRECT* where) {
    if (!control || !param || !where) return;
    const int n = param->GetNDisplayTexts();
    const IParam::EParamType type = param->Type();
    char current[IParam::kMaxNameLen];

    if (type == IParam::kTypeEnum || (type == IParam::kTypeBool && n > 0)) {
        param->GetDisplayForHost(param->Value(), false, current, sizeof(current), true);
        IPopupMenu menu;
        for (int i = 0; i < n; ++i) {
            const char* text = param->GetDisplayText(i);
            menu.AddItem(text, -1,
                         std::strcmp(text, current) ? IPopupMenuItem::kNoFlags
                                                    : IPopupMenuItem::kChecked);
        }
        // Only the menu built here carries the choice: a submenu answer has no meaning for it.
        if (CreateIPopupMenu(&menu, where) && menu.GetChosenItemIdx() >= 0) {
            const EditGesture gesture = BeginEditGesture(control->ParamIdx());
            control->SetValueFromUserInput(param->GetNormalized(menu.GetChosenItemIdx()));
            EndEditGesture(control->ParamIdx(), gesture);
        }
        return;
    }
    param->GetDisplayForHost(param->Value(), false, current, sizeof(current), false);
    CreateTextEntry(control, control->GetText(), where, current, param);
}

void IGraphics::SetFromStringAfterPrompt(IControl* control, IParam* param, const char* text) {
    if (!control || !param) return;
    if (!text) text = "";
    double v;
    const IParam::EParamType type = param->Type();
    if (type == IParam::kTypeBool || type == IParam::kTypeEnum) {
        int mapped = 0;
        param->MapDisplayText(text, &mapped);
        v = mapped;
    } else {
        v = std::atof(text);
        if (param->GetNegateDisplay()) v = -v;
    }
    // "nan", "inf" or a number beyond the double range: nothing a parameter could take.
    if (!std::isfinite(v)) return;
    // The text arrives after the press that opened the field has ended its gesture.
    const EditGesture gesture = BeginEditGesture(control->ParamIdx());
    control->SetValueFromUserInput(param->GetNormalized(v));
    EndEditGesture(control->ParamIdx(), gesture);
}

// ---- Redraw ----------------------------------------------------------------------------------

void IGraphics::PrepDraw() {
    ForgetBackdrop();
    delete mBackBuffer;
    delete mScratchBitmap;
    mBackBuffer = new LICE_SysBitmap(DeviceWidth(), DeviceHeight());
    mScratchBitmap = new LICE_MemBitmap(0, 0, 4);
}

void IGraphics::Resize(int w, int h) {
    mWidth = w;
    mHeight = h;
    ReleaseMouseCapture(); // and the gesture of its press: the control is about to go
    ResetValueOverlay();
    DeleteControls();
    delete mBackBuffer;
    delete mScratchBitmap;
    mBackBuffer = nullptr;
    mScratchBitmap = nullptr;
    PrepDraw();
    if (mOwnerPlug) mOwnerPlug->ResizeGraphics(w, h);
}

bool IGraphics::IsDirty(IRECT* r) {
    // First, so that outside strict drawing the background it marks is counted below.
    bool dirty = UpdateValueOverlay(r);
    for (int i = 0; i < NControls(); ++i) {
        IControl* c = GetControl(i);
        if (c->IsDirty()) {
            *r = r->UnionWith(*c->GetRECT());
            dirty = true;
        }
    }
    return dirty;
}

bool IGraphics::Draw(IRECT* r) {
    const int n = NControls();
    if (n == 0) return true;

    if (mStrictRedraw) {
        // The value box is drawn whole, over whatever was drawn under it.
        if (ValueOverlayShown() && mOverlay.area.Overlaps(*r)) *r = r->UnionWith(mOverlay.area);
        mRedrawRect = *r;
        for (int i = 0; i < n; ++i) {
            IControl* c = GetControl(i);
            if (!c->IsHidden() && c->GetRECT()->Overlaps(*r)) {
                if (i == 0)
                    DrawBackdrop(c, *r);
                else
                    c->Draw(this);
            }
            c->SetClean();
        }
        if (ValueOverlayShown() && mOverlay.area.Overlaps(*r)) DrawValueOverlay();
    } else {
        IControl* bg = GetControl(0);
        if (bg->IsDirty()) {
            mRedrawRect = *bg->GetRECT();
            for (int i = 0; i < n; ++i) {
                IControl* c = GetControl(i);
                if (i == 0) {
                    DrawBackdrop(c, mRedrawRect);
                    c->SetClean();
                } else if (!c->IsHidden()) {
                    c->Draw(this);
                    c->SetClean();
                }
            }
        } else {
            for (int i = 1; i < n; ++i) {
                IControl* dirty = GetControl(i);
                if (!dirty->IsDirty()) continue;
                mRedrawRect = *dirty->GetRECT();
                for (int j = 0; j < n; ++j) {
                    IControl* c = GetControl(j);
                    if (c->IsHidden()) continue;
                    if (j == 0 && c->GetRECT()->Overlaps(mRedrawRect))
                        DrawBackdrop(c, mRedrawRect);
                    else if (j == i || c->GetRECT()->Overlaps(mRedrawRect))
                        c->Draw(this);
                }
                dirty->SetClean();
            }
        }
        DrawValueOverlay(); // opaque: the same pixels however often it is drawn
    }
    return DrawScreen(r);
}

// ---- Input -----------------------------------------------------------------------------------

int IGraphics::HitSearch(int x, int y, bool mouseOver) const {
    for (int i = NControls() - 1; i >= 0; --i) {
        IControl* c = GetControl(i);
        if (c->IsHidden()) continue;
        if (c->IsGrayed() && !(mouseOver && c->GetMOWhenGrayed())) continue;
        if (c->IsHit(x, y)) return i;
    }
    return -1;
}

int IGraphics::GetMouseControlIdx(int x, int y, bool mouseOver) {
    if (mCapturedControl >= 0) return mCapturedControl;
    return HitSearch(x, y, mouseOver);
}

void IGraphics::ReleaseMouseCapture() {
    mCapturedControl = -1;
    mLastMouseX = mLastMouseY = -1;
    ClosePressGesture();
}

// ---- Gestures ----

void IGraphics::OpenPressGesture(int paramIdx) {
    ClosePressGesture();
    if (paramIdx < 0 || !mOwnerPlug) return;
    mGestureParamIdx = paramIdx;
    mOwnerPlug->BeginInformHostOfParamChange(paramIdx);
}

void IGraphics::ClosePressGesture() {
    const int paramIdx = mGestureParamIdx;
    mGestureParamIdx = -1;
    if (paramIdx >= 0 && mOwnerPlug) mOwnerPlug->EndInformHostOfParamChange(paramIdx);
}

IGraphics::EditGesture IGraphics::BeginEditGesture(int paramIdx) {
    if (paramIdx < 0 || !mOwnerPlug || paramIdx == mGestureParamIdx) return kNoGesture;
    mOwnerPlug->BeginInformHostOfParamChange(paramIdx);
    // Tracked like a press's gesture, so that an edit nested in this one (a double click that
    // opens a menu) does not begin it twice. Another parameter's open gesture stays tracked.
    if (mGestureParamIdx >= 0) return kUntrackedGesture;
    mGestureParamIdx = paramIdx;
    return kTrackedGesture;
}

void IGraphics::EndEditGesture(int paramIdx, EditGesture opened) {
    if (opened == kNoGesture || !mOwnerPlug) return;
    if (opened == kTrackedGesture) {
        if (mGestureParamIdx != paramIdx) return; // ended meanwhile (the editor was resized)
        mGestureParamIdx = -1;
    }
    mOwnerPlug->EndInformHostOfParamChange(paramIdx);
}

void IGraphics::OnMouseDown(int x, int y, IMouseMod* mod) {
    ReleaseMouseCapture(); // ends the gesture of an earlier press whose release never came
    // The value box takes its own presses (a double click opens the field); a press elsewhere
    // closes an open field unchanged and goes on to what it hit.
    if (InValueOverlay(x, y)) return;
    CancelValueEntry();
    const int c = HitSearch(x, y, false);
    if (c < 0) return;
    mCapturedControl = c;
    mLastMouseX = x;
    mLastMouseY = y;
    IControl* control = GetControl(c);
    OpenPressGesture(control->ParamIdx());
    control->OnMouseDown(x, y, mod);
}

void IGraphics::OnMouseUp(int x, int y, IMouseMod* mod) {
    const int c = GetMouseControlIdx(x, y, false);
    // The capture goes now, the press's gesture only after the control has taken the release.
    mCapturedControl = -1;
    mLastMouseX = mLastMouseY = -1;
    TrackReadoutHover(x, y); // the drag's readout stays only while the pointer is on the knob
    IControl* control = GetControl(c);
    if (!control) {
        ClosePressGesture();
        return;
    }
    if (mGestureParamIdx >= 0) {
        control->OnMouseUp(x, y, mod);
        ClosePressGesture();
        return;
    }
    // A release without a press (the press went elsewhere, or was a double click that already
    // closed its own gesture) may still edit, as a momentary button does. Read the index before
    // the call: a release that resizes the editor deletes the control.
    const int paramIdx = control->ParamIdx();
    const EditGesture gesture = BeginEditGesture(paramIdx);
    control->OnMouseUp(x, y, mod);
    EndEditGesture(paramIdx, gesture);
}

void IGraphics::OnMouseDrag(int x, int y, IMouseMod* mod) {
    IControl* control = GetControl(mCapturedControl);
    if (!control || (x == mLastMouseX && y == mLastMouseY)) return;
    const int dX = x - mLastMouseX, dY = y - mLastMouseY;
    mLastMouseX = x;
    mLastMouseY = y;
    control->OnMouseDrag(x, y, dX, dY, mod);
}

bool IGraphics::OnMouseDblClick(int x, int y, IMouseMod* mod) {
    ReleaseMouseCapture();
    if (InValueOverlay(x, y)) {
        if (!ValueEntryOpen()) OpenValueEntry(mOverlay.control);
        return false;
    }
    CancelValueEntry();
    const int c = HitSearch(x, y, false);
    if (c < 0) return false;
    IControl* control = GetControl(c);
    if (control->GetDblAsSingleClick()) {
        // A press in every respect, gesture included: the release will end it.
        mCapturedControl = c;
        mLastMouseX = x;
        mLastMouseY = y;
        OpenPressGesture(control->ParamIdx());
        control->OnMouseDown(x, y, mod);
        return true;
    }
    const int paramIdx = control->ParamIdx();
    const EditGesture gesture = BeginEditGesture(paramIdx);
    control->OnMouseDblClick(x, y, mod);
    EndEditGesture(paramIdx, gesture);
    return false;
}

void IGraphics::OnMouseWheel(int x, int y, IMouseMod* mod, int delta) {
    IControl* control = GetControl(GetMouseControlIdx(x, y, false));
    if (!control) return;
    // Inside the press's gesture when the wheel turns during a drag, else a gesture of its own.
    const int paramIdx = control->ParamIdx();
    const EditGesture gesture = BeginEditGesture(paramIdx);
    control->OnMouseWheel(x, y, mod, delta);
    EndEditGesture(paramIdx, gesture);
}

bool IGraphics::OnMouseOver(int x, int y, IMouseMod* mod) {
    TrackReadoutHover(x, y); // whether or not the controls follow the pointer
    if (!mTrackHover) return false;
    const int c = GetMouseControlIdx(x, y, true);
    if (c >= 0) {
        mLastMouseX = x;
        mLastMouseY = y;
        GetControl(c)->OnMouseOver(x, y, mod);
        IControl* previous = GetControl(mHoverControl);
        if (previous && mHoverControl != c) previous->OnMouseOut();
        mHoverControl = c;
    }
    return mTrackHover;
}

void IGraphics::OnMouseOut() {
    for (int i = 0; i < NControls(); ++i)
        GetControl(i)->OnMouseOut();
    mHoverControl = -1;
    mReadoutHover = -1;
}

bool IGraphics::OnKeyDown(int x, int y, int key) {
    const int c = GetMouseControlIdx(x, y, false);
    if (c >= 1) return GetControl(c)->OnKeyDown(x, y, key);
    return mKeyFallbackControl ? mKeyFallbackControl->OnKeyDown(x, y, key) : false;
}

int IGraphics::GetParamIdxForPTAutomation(int x, int y) {
    const int c = GetMouseControlIdx(x, y, false);
    mLastClickedParamIdx = c > 0 ? GetControl(c)->ParamIdx() : -1;
    return mLastClickedParamIdx;
}

int IGraphics::GetLastClickedParamForPTAutomation() {
    const int idx = mLastClickedParamIdx;
    mLastClickedParamIdx = -1;
    return idx;
}
