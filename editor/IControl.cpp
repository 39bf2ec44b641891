#include "editor/IControl.h"

#include "editor/IGraphics.h"
#include "plugin/IPlugBase.h"

#include <cmath>
#include <cstring>

IControl::IControl(IPlugBase* plug, IRECT area, int paramIdx, IChannelBlend::EBlendMethod method)
    : mOwnerPlug(plug), mArea(area), mHitArea(area), mParamIndex(paramIdx),
      mBlending(method, 1.0f) {}

void IControl::OnMouseDown(int /*x*/, int /*y*/, IMouseMod* mod) {
    if (mod && mod->rightButton) PromptUserInput();
}

void IControl::OnMouseDblClick(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {
    if (mResetValue >= 0.0) {
        mNormValue = mResetValue;
        SetDirty(true);
    }
}

// Values from the host, from typed text or from arithmetic on either are checked here: a
// non-finite value would stay in the control and reach the parameter at the next edit.
void IControl::SetValueFromPlug(double value) {
    if (!std::isfinite(value)) return;
    if (mResetValue < 0.0) {
        mResetValue = value;
        mNormValue = value;
        return;
    }
    if (value != mNormValue) {
        mNormValue = value;
        SetDirty(false);
        mRedrawAgain = true;
    }
}

void IControl::SetValueFromUserInput(double value) {
    if (!std::isfinite(value)) return;
    if (value != mNormValue) {
        mNormValue = value;
        SetDirty(true);
        mRedrawAgain = true;
    }
}

void IControl::Hide(bool hide) {
    mHidden = hide;
    mRedrawAgain = true;
    SetDirty(false);
}

void IControl::GrayOut(bool gray) {
    mGrayedOut = gray;
    mBlending.weight = gray ? 0.25f : 1.0f;
    SetDirty(false);
}

void IControl::SetValue(double value) {
    if (std::isfinite(value)) mNormValue = value;
}

void IControl::Clamp(double lo, double hi) {
    if (!std::isfinite(lo) || !std::isfinite(hi)) return;
    mLowerClamp = lo;
    mUpperClamp = hi;
}

void IControl::SetDirty(bool pushParamToPlug) {
    // Infinities clamp below; a NaN left by a subclass's arithmetic has no side to clamp to and
    // falls back to the lower clamp, so the plug-in never receives it.
    if (std::isnan(mNormValue)) mNormValue = mLowerClamp;
    if (mLowerClamp > mNormValue)
        mNormValue = mLowerClamp;
    else if (mUpperClamp < mNormValue)
        mNormValue = mUpperClamp;
    mNeedsDraw = true;

    if (!pushParamToPlug || !mOwnerPlug || mParamIndex < 0) return;
    mOwnerPlug->SetParameterFromGUI(mParamIndex, mNormValue);

    IParam* param = GetParam();
    if (!param) return;
    if (mValueTextControl) {
        char display[kMaxTextLen + 1];
        param->GetDisplayForHost(param->Value(), false, display, sizeof(display), true);
        WDL_String text(display);
        text.Append(" ");
        text.Append(param->GetLabelForHost(), kMaxTextLen);
        mValueTextControl->SetTextFromPlug(text.Get());
    }
    if (mNameTextControl) mNameTextControl->SetTextFromPlug(param->GetNameForHost());
}

void IControl::SetAuxParamValueFromPlug(int auxParamIdx, double value) {
    if (auxParamIdx < 0 || auxParamIdx >= NAuxParams()) return;
    AuxParamSlot* slot = GetAuxParam(auxParamIdx);
    if (std::isfinite(value) && value != slot->value) {
        slot->value = value;
        SetDirty(false);
        mRedrawAgain = true;
    }
}

void IControl::PromptUserInput() {
    if (mParamIndex < 0 || mPromptDisabled) return;
    IParam* param = GetParam();
    if (param && param->GetNDisplayTexts()) {
        PromptUserInput(&mArea);
    } else {
        const int cx = static_cast<int>((mArea.left + mArea.right) * 0.5);
        const int cy = static_cast<int>((mArea.top + mArea.bottom) * 0.5);
        IRECT box(cx - 20, cy - 8, cx + 20, cy + 8);
        PromptUserInput(&box);
    }
    mRedrawAgain = true;
}

void IControl::PromptUserInput(IRECT* where) {
    if (mParamIndex < 0 || mPromptDisabled) return;
    IGraphics* gui = GetGUI();
    if (gui) gui->PromptUserInput(this, GetParam(), where);
    mRedrawAgain = true;
}

bool IControl::AddAuxParam(int paramIdx) {
    AuxParamSlot slot;
    slot.paramIdx = paramIdx;
    return mAuxParams.Add(&slot, 1) != nullptr;
}

int IControl::AuxParamIdx(int paramIdx) const {
    const AuxParamSlot* slots = mAuxParams.Get();
    for (int i = 0, n = mAuxParams.GetSize(); i < n; ++i)
        if (slots[i].paramIdx == paramIdx) return i;
    return -1;
}

void IControl::SetAllAuxParamsFromGUI() {
    if (!mOwnerPlug) return;
    for (int i = 0; i < NAuxParams(); ++i) {
        const AuxParamSlot* slot = GetAuxParam(i);
        mOwnerPlug->SetParameterFromGUI(slot->paramIdx, slot->value);
    }
}

IParam* IControl::GetParam() const {
    return mOwnerPlug && mParamIndex >= 0 ? mOwnerPlug->GetParam(mParamIndex) : nullptr;
}

IGraphics* IControl::GetGUI() const {
    // The base knows its editor only by the interface; an editor of this framework is an IGraphics.
    return mOwnerPlug ? dynamic_cast<IGraphics*>(mOwnerPlug->GetGUI()) : nullptr;
}
