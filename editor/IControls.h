// The control library: bitmap displays, switches, radio buttons, a fader, knobs (filmstrip,
// line, rotating bitmap, rotating mask), text and caption displays, a link area and a file
// selector. The bitmap-font text display is in IBitmapMonoText.h.
//
// Multi-frame bitmap controls take one frame of their image as their area and choose the frame
// from the value (FrameFromValue). Controls given an image that failed to load draw nothing.
#pragma once

#include "editor/IControl.h"

// Frame (from 1) that a control with n frames shows for a normalised value.
int FrameFromValue(double value, int n);

// A solid colour over the area.
class IPanelControl : public IControl {
public:
    IPanelControl(IPlugBase* plug, IRECT area, const IColor* color);
    bool Draw(IGraphics* graphics) override;

protected:
    IColor mColor;
};

// A bitmap (one frame of it, chosen from the value) at (x, y).
class IBitmapControl : public IControl {
public:
    IBitmapControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                   IChannelBlend::EBlendMethod method = IChannelBlend::kBlendNone);
    bool Draw(IGraphics* graphics) override;
    const IBitmap* GetBitmap() const { return &mBitmap; }

protected:
    IBitmap mBitmap;
};

// Each press (any button) steps to the next frame, wrapping to the first after the last.
class ISwitchControl : public IBitmapControl {
public:
    using IBitmapControl::IBitmapControl;
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
    void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
};

// A switch whose press opens the parameter's prompt (enabled here).
class ISwitchPopUpControl : public ISwitchControl {
public:
    ISwitchPopUpControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap);
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
};

// A momentary button: a press steps like a switch, the release returns to 0.
class IContactControl : public ISwitchControl {
public:
    using ISwitchControl::ISwitchControl;
    void OnMouseUp(int x, int y, IMouseMod* mod) override;
};

// A switch that below 0.5 draws nothing and takes presses only in overlayHitArea.
class IBitmapOverlayControl : public ISwitchControl {
public:
    IBitmapOverlayControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                          IRECT overlayHitArea);
    bool Draw(IGraphics* graphics) override;

protected:
    IRECT mOverlayHitArea;
};

// One state area per frame; a press in area i selects state i. Prompts are enabled.
class ISwitchFramesControl : public IBitmapControl {
public:
    ISwitchFramesControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                         bool imagesAreHorizontal = false,
                         IChannelBlend::EBlendMethod method = IChannelBlend::kBlendNone);
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
    const IRECT* GetStateArea(int i) const; // null outside 0..frames - 1

protected:
    WDL_TypedBuf<IRECT> mStateAreas{256};
};

// An invisible area that toggles between 0 and 1.
class IInvisibleSwitchControl : public IControl {
public:
    IInvisibleSwitchControl(IPlugBase* plug, IRECT area, int paramIdx);
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
    bool Draw(IGraphics* /*graphics*/) override { return true; }
};

// n buttons laid out evenly over the area (from the far end when reversed); the bitmap's frame
// 2 marks the active one, frame 1 the others.
class IRadioButtonsControl : public IControl {
public:
    IRadioButtonsControl(IPlugBase* plug, IRECT area, int paramIdx, int nButtons,
                         const IBitmap* bitmap, EDirection direction = kVertical,
                         bool reverse = false);
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
    bool Draw(IGraphics* graphics) override;
    int NButtons() const { return mButtonAreas.GetSize(); }
    const IRECT* GetButtonArea(int i) const; // null outside the group

protected:
    WDL_TypedBuf<IRECT> mButtonAreas{256};
    IBitmap mBitmap;
};

// A handle that travels len pixels; up (or right) raises the value.
class IFaderControl : public IControl {
public:
    IFaderControl(IPlugBase* plug, int x, int y, int len, int paramIdx, const IBitmap* bitmap,
                  EDirection direction = kVertical, bool onlyHandle = false);
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
    void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;
    void OnMouseWheel(int x, int y, IMouseMod* mod, int delta) override;
    bool Draw(IGraphics* graphics) override;
    bool IsHit(int x, int y) override;
    virtual void SnapToMouse(int x, int y);

    IRECT GetHandleRECT(double value = -1.0) const; // negative: the current value
    int GetLength() const { return mLen; }
    int GetHandleHeadroom() const { return mHandleHeadroom; }

protected:
    int mLen;
    int mHandleHeadroom;
    IBitmap mBitmap;
    EDirection mDirection;
    bool mOnlyHandle;
};

// Knob behaviour shared by every knob: a vertical knob sweeps its whole range over gearing x
// its height of pointer travel (ten times that with shift or control held).
class IKnobControl : public IControl {
public:
    IKnobControl(IPlugBase* plug, IRECT area, int paramIdx, EDirection direction = kVertical,
                 double gearing = kDefaultGearing);
    void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* mod) override;
    void OnMouseWheel(int x, int y, IMouseMod* mod, int delta) override;
    // Arrows step by a wheel notch (up and right raise), Home and End go to the ends; each change
    // reaches the host inside a gesture of its own.
    bool OnKeyDown(int x, int y, int key) override;
    bool ShowsValueReadout() const override { return mParamIndex >= 0; }
    void SetGearing(double gearing) { mGearing = gearing; }
    double GetGearing() const { return mGearing; }

    static constexpr double kDefaultGearing = 4.0;
    static constexpr double kFineFactor = 10.0;

protected:
    EDirection mDirection;
    double mGearing;
};

// A line from innerRadius to outerRadius at an angle (radians, 0 up, clockwise) between minAngle
// and maxAngle. An outer radius of 0 reaches half the area's width.
class IKnobLineControl : public IKnobControl {
public:
    IKnobLineControl(IPlugBase* plug, IRECT area, int paramIdx, const IColor* color,
                     double innerRadius = 0.0, double outerRadius = 0.0,
                     double minAngle = -0.75 * kPi, double maxAngle = 0.75 * kPi,
                     EDirection direction = kVertical, double gearing = kDefaultGearing);
    bool Draw(IGraphics* graphics) override;

    static constexpr double kPi = 3.14159265358979323846;

protected:
    IColor mColor;
    float mMinAngle, mMaxAngle, mInnerRadius, mOuterRadius;
};

// The whole bitmap rotated about the area's centre (angles in radians).
class IKnobRotaterControl : public IKnobControl {
public:
    IKnobRotaterControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                        double minAngle = -0.75 * IKnobLineControl::kPi,
                        double maxAngle = 0.75 * IKnobLineControl::kPi, int yOffsetZeroDeg = 0,
                        EDirection direction = kVertical, double gearing = kDefaultGearing);
    bool Draw(IGraphics* graphics) override;

protected:
    IBitmap mBitmap;
    double mMinAngle, mMaxAngle;
    int mYOffset;
};

// A filmstrip knob: one frame of the bitmap, chosen from the value.
class IKnobMultiControl : public IKnobControl {
public:
    IKnobMultiControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* bitmap,
                      EDirection direction = kVertical, double gearing = kDefaultGearing);
    bool Draw(IGraphics* graphics) override;
    const IBitmap* GetBitmap() const { return &mBitmap; }

protected:
    IBitmap mBitmap;
};

// A base image whose alpha comes from a rotated mask, with a rotated top image over it (angles
// in degrees).
class IKnobRotatingMaskControl : public IKnobControl {
public:
    IKnobRotatingMaskControl(IPlugBase* plug, int x, int y, int paramIdx, const IBitmap* base,
                             const IBitmap* mask, const IBitmap* top, double minAngle = -135.0,
                             double maxAngle = 135.0, EDirection direction = kVertical,
                             double gearing = kDefaultGearing);
    bool Draw(IGraphics* graphics) override;

protected:
    IBitmap mBase, mMask, mTop;
    double mMinAngle, mMaxAngle;
};

// A text in the control's own copy of a text style.
class ITextControl : public IControl {
public:
    ITextControl(IPlugBase* plug, IRECT area, const IText* style, const char* text = "");
    bool Draw(IGraphics* graphics) override;
    void SetTextFromPlug(const char* text) override;
    const char* GetTextForDisplay() const override { return mStr.Get(); }
    void ClearTextFromPlug() { SetTextFromPlug(""); }

protected:
    WDL_String mStr;
};

// The bound parameter's display text (and label), refreshed at each draw.
class ICaptionControl : public ITextControl {
public:
    ICaptionControl(IPlugBase* plug, IRECT area, int paramIdx, const IText* style,
                    bool showParamLabel = true);
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
    void OnMouseDblClick(int x, int y, IMouseMod* mod) override;
    bool Draw(IGraphics* graphics) override;

protected:
    bool mShowParamLabel;
};

// An invisible area that opens a web address (or, failing that, a backup address).
class IURLControl : public IControl {
public:
    static constexpr int kMaxURLLen = 256;      // NUL included; longer addresses are cut
    static constexpr int kMaxMessageLen = 1024; // NUL included

    IURLControl(IPlugBase* plug, IRECT area, const char* url, const char* backupURL = nullptr,
                const char* errMsgOnFailure = nullptr);
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
    bool Draw(IGraphics* /*graphics*/) override { return true; }
    const char* GetURL() const { return mURL; }
    const char* GetBackupURL() const { return mBackupURL; }

protected:
    char mURL[kMaxURLLen];
    char mBackupURL[kMaxURLLen];
    char mErrMsg[kMaxMessageLen];
};

// A press opens the platform's file prompt; the value flips between 0 and 1 per selection.
class IFileSelectorControl : public IControl {
public:
    enum EFileSelectorState { kFSNone = 0, kFSSelecting, kFSDone };

    IFileSelectorControl(IPlugBase* plug, IRECT area, int paramIdx, const IBitmap* bitmap,
                         EFileAction action, const char* dir = "", const char* extensions = "");
    void OnMouseDown(int x, int y, IMouseMod* mod) override;
    bool Draw(IGraphics* graphics) override;
    bool IsDirty() override; // answers true once more after a selection finished

    void GetLastSelectedFileForPlug(WDL_String* out) const { out->Set(mFile.Get()); }
    void SetLastSelectedFileFromPlug(const char* file) { mFile.Set(file); }
    int GetState() const { return mState; }

protected:
    IBitmap mBitmap;
    WDL_String mDir, mFile, mExtensions;
    EFileAction mFileAction;
    int mState = kFSNone;
};
