// The control base: a rectangle of the editor that draws itself into the back buffer, takes the
// mouse and key events the editor routes to it, and may be bound to one plug-in parameter whose
// value it holds normalised (0..1).
//
// Threads: SetValueFromPlug and SetAuxParamValueFromPlug may run on the host's thread while it
// holds the plug-in mutex (they only store values and raise dirty flags); everything else runs
// on the user-interface thread. Nothing here locks.
//
// Two frames per change: a value change from either side sets mRedrawAgain, which SetClean
// copies into mNeedsDraw, so every change is drawn in two consecutive redraws.
#pragma once

#include "containers/WDL_String.h"
#include "containers/WDL_TypedBuf.h"
#include "editor/IGraphicsStructs.h"

class IGraphics;
class IParam;
class IPlugBase;

// One extra parameter a control shows (value normalised).
struct AuxParamSlot {
    double value = 0.0;
    int paramIdx = -1;
};

class IControl {
public:
    static constexpr int kMaxTextLen = 32; // display text and label cut, each

    // paramIdx -1 for an unbound control.
    IControl(IPlugBase* plug, IRECT area, int paramIdx = -1,
             IChannelBlend::EBlendMethod method = IChannelBlend::kBlendNone);
    virtual ~IControl() = default;
    IControl(const IControl&) = delete;
    IControl& operator=(const IControl&) = delete;

    // ---- Events (user-interface thread) ----
    virtual void OnMouseDown(int x, int y, IMouseMod* mod); // right button: prompt
    virtual void OnMouseUp(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {}
    virtual void OnMouseDrag(int /*x*/, int /*y*/, int /*dX*/, int /*dY*/, IMouseMod* /*mod*/) {}
    virtual void OnMouseDblClick(int x, int y, IMouseMod* mod); // restores the reset value
    virtual void OnMouseWheel(int /*x*/, int /*y*/, IMouseMod* /*mod*/, int /*delta*/) {}
    virtual bool OnKeyDown(int /*x*/, int /*y*/, int /*key*/) { return false; }
    virtual void OnMouseOver(int /*x*/, int /*y*/, IMouseMod* /*mod*/) {}
    virtual void OnMouseOut() {}

    // Draws into the editor's back buffer; the editor has set the redraw rectangle.
    virtual bool Draw(IGraphics* graphics) = 0;

    // The plug-in side changed the value. The first value becomes the reset value and does not
    // mark the control dirty (it is dirty from construction); an equal value changes nothing.
    virtual void SetValueFromPlug(double value);
    // The user changed the value: pushed on to the plug-in through SetDirty(true).
    virtual void SetValueFromUserInput(double value);
    // Receives the text of a text field opened without a parameter.
    virtual void TextFromTextEntry(const char* /*text*/) {}

    virtual void Hide(bool hide);
    virtual void GrayOut(bool gray); // drawn at weight 0.25 while grayed, not hit
    virtual bool IsHit(int x, int y) { return mHitArea.Contains(x, y); }
    // Clamps the value, marks the control dirty and, with push, sends the value to the plug-in
    // (SetParameterFromGUI takes the plug-in mutex) and refreshes the value and name texts.
    virtual void SetDirty(bool pushParamToPlug = true);
    virtual void SetClean() {
        mNeedsDraw = mRedrawAgain;
        mRedrawAgain = false;
    }
    virtual bool IsDirty() { return mNeedsDraw; }
    virtual void OnGUIIdle() {}
    virtual void SetAuxParamValueFromPlug(int auxParamIdx, double value);

    // ---- Prompts ----
    // Opens the editor's value prompt: a popup menu over the area for parameters with display
    // texts, else a 40 x 16 text field centred on the control. Nothing when unbound or disabled.
    void PromptUserInput();
    void PromptUserInput(IRECT* where);
    void DisablePrompt(bool disable) { mPromptDisabled = disable; }

    // ---- Aux parameters ----
    bool AddAuxParam(int paramIdx);      // false when out of memory
    int AuxParamIdx(int paramIdx) const; // position of the first slot for paramIdx, or -1
    AuxParamSlot* GetAuxParam(int k) { return mAuxParams.Get() + k; } // caller keeps k in range
    int NAuxParams() const { return mAuxParams.GetSize(); }
    void SetAllAuxParamsFromGUI();

    // ---- Accessors ----
    int ParamIdx() const { return mParamIndex; }
    IParam* GetParam() const;
    IPlugBase* GetPlug() const { return mOwnerPlug; }
    IGraphics* GetGUI() const; // the plug-in's editor, or null
    double GetValue() const { return mNormValue; }
    void SetValue(double value); // no clamp, no dirty, no push; a non-finite value is ignored
    double GetResetValue() const { return mResetValue; }
    const IRECT* GetRECT() const { return &mArea; }
    const IRECT* GetTargetRECT() const { return &mHitArea; }
    void SetTargetArea(IRECT area) { mHitArea = area; }
    bool IsHidden() const { return mHidden; }
    bool IsGrayed() const { return mGrayedOut; }
    bool GetRedrawAgain() const { return mRedrawAgain; }
    bool GetPromptDisabled() const { return mPromptDisabled; }
    bool GetMOWhenGrayed() const { return mHoverWhenGrayed; }
    void SetMOWhenGrayed(bool allow) { mHoverWhenGrayed = allow; }
    bool GetDblAsSingleClick() const { return mDoubleClickAsPress; }
    void SetDblAsSingleClick(bool single) { mDoubleClickAsPress = single; }
    void Clamp(double lo, double hi); // ignored unless both are finite
    double GetLowerClamp() const { return mLowerClamp; }
    double GetUpperClamp() const { return mUpperClamp; }
    const IChannelBlend* GetBlend() const { return &mBlending; }
    IText* GetText() { return &mTextStyle; }
    int GetTextEntryLength() const { return mEntryMaxChars; }
    void SetTextEntryLength(int len) { mEntryMaxChars = len; }
    const char* GetTooltip() const { return mTooltipText.Get(); }
    void SetTooltip(const char* text) { mTooltipText.Set(text); }

    // Text controls (not owned) that show the bound parameter's value and name.
    void SetValDisplayControl(IControl* control) { mValueTextControl = control; }
    void SetNameDisplayControl(IControl* control) { mNameTextControl = control; }

    // Text shown by a text control; the base has none. SetTextFromPlug marks it dirty only on
    // a change.
    virtual const char* GetTextForDisplay() const { return ""; }
    // Whether the editor shows this control's parameter in its value readout while the pointer
    // is over it or drags it (and opens its typed-value field).
    virtual bool ShowsValueReadout() const { return false; }
    virtual void SetTextFromPlug(const char* /*text*/) {}

protected:
    int mEntryMaxChars = 7;
    IText mTextStyle;
    IPlugBase* mOwnerPlug;
    IRECT mArea;
    IRECT mHitArea;
    int mParamIndex;
    WDL_TypedBuf<AuxParamSlot> mAuxParams{256};
    double mNormValue = 0.0;
    double mResetValue = -1.0; // negative: not set yet
    double mLowerClamp = 0.0, mUpperClamp = 1.0;
    bool mNeedsDraw = true;
    bool mHidden = false;
    bool mGrayedOut = false;
    bool mRedrawAgain = false;
    bool mPromptDisabled = true;
    bool mDoubleClickAsPress = false;
    bool mHoverWhenGrayed = false;
    IChannelBlend mBlending;
    IControl* mValueTextControl = nullptr;
    IControl* mNameTextControl = nullptr;
    WDL_String mTooltipText;
};
