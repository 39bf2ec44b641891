// The editor core of one plug-in instance: its controls, the back buffer they draw into, the
// parameter synchronisation in both directions, the redraw cycle, input routing, value prompts,
// image and font resources and the drawing primitives over the raster library.
//
// The redraw cycle. Every 1 / FPS() seconds the platform calls IsDirty on an empty rectangle;
// when it answers true the platform asks its window system to repaint that rectangle, and the
// repaint calls Draw with the rectangle that needs repainting. Draw redraws the controls that
// meet it into the back buffer (strict mode: every control meeting it; otherwise each dirty
// control and what overlaps it), marks them clean and hands the buffer to DrawScreen. Every
// control starts dirty, so the first cycle after opening draws everything.
//
// Input. The platform passes mouse events in editor pixels (origin top left). A press captures
// the control it hits (hidden and grayed controls are passed over; the background at index 0
// takes what nothing else takes) and, for a bound control, opens the host gesture that the
// release closes. Drags go to the captured control, one call per new position. Every edit made
// here reaches the host inside a begin/end pair, and every end follows its begin.
//
// Threads: everything runs on the user-interface thread, except SetParameterFromPlug, which the
// host's parameter-set entry calls on its own thread with the plug-in mutex held; that path only
// stores control values and raises dirty flags. The editor takes no lock of its own; the image
// and font caches are process-wide and have their own mutexes.
//
// Scale. Controls, events and drawing calls all work in editor pixels: the layout at 1x. The
// back buffer and the window are in device pixels, the editor pixels times the scale factor (1
// to 4). Images come from artwork drawn at the scale (the image named NAME@2x.png, @3x or @4x
// beside NAME.png; a factor between two sets is the larger set scaled down, frame by frame, by
// area averaging), text is set at the scaled size, and the platform layer maps the pointer from
// device pixels to editor pixels. At 1x every pixel is drawn exactly as without a scale.
//
// Platform operations (pure virtual below) belong to the window layer; a headless build answers
// them with null, false or nothing (IGraphicsHeadless.h).
#pragma once

#include "containers/WDL_PtrList.h"
#include "containers/WDL_String.h"
#include "editor/IControl.h"
#include "editor/IGraphicsStructs.h"
#include "editor/IPopupMenu.h"
#include "plugin/IPlugEditor.h"

class IParam;
class IPlugBase;
class LICE_IBitmap;
class LICE_IFont;
class LICE_MemBitmap;
class LICE_SysBitmap;

class IGraphics : public IPlugEditor {
public:
    static constexpr int kDefaultFPS = 25;
    static constexpr double kMinScale = 1.0, kMaxScale = 4.0;
    static constexpr int kLargestArtworkSet = 4; // NAME@4x.png

    // fps 0 or negative means kDefaultFPS.
    IGraphics(IPlugBase* plug, int width, int height, int fps = 0);
    // Deletes the key fallback control, every control (last first) and both bitmaps.
    ~IGraphics() override;
    IGraphics(const IGraphics&) = delete;
    IGraphics& operator=(const IGraphics&) = delete;

    // ---- Platform operations and their defaults, in this order ----
    virtual bool DrawScreen(IRECT* r) = 0; // put the back buffer on screen
    virtual bool MeasureIText(IText* text, const char* str, IRECT* r) {
        return DrawIText(text, str, r, true);
    }
    virtual void ForceEndUserEdit() = 0; // close an open text field
    // Deletes every control and remakes the back buffer at the new size, then asks the plug-in
    // (ResizeGraphics) to attach its controls again.
    virtual void Resize(int w, int h);
    virtual bool WindowIsOpen() { return GetWindow() != nullptr; }
    virtual const char* GetGUIAPI() { return ""; }
    // The button sets ShowMessageBox takes as type, and its answers: which button was pressed,
    // by position (the first button is OK or Yes; the second No, or Cancel beside OK; the third
    // Cancel), or none when no box could be shown. The values are the Win32 message-box codes
    // (MB_OK, MB_OKCANCEL, MB_YESNOCANCEL, MB_YESNO; IDOK, IDCANCEL, IDNO) callers compare with.
    enum EMessageBoxType {
        kMessageBoxOK = 0,
        kMessageBoxOKCancel = 1,
        kMessageBoxYesNoCancel = 3,
        kMessageBoxYesNo = 4
    };
    enum EMessageBoxAnswer {
        kMessageBoxNoAnswer = 0,
        kMessageBoxFirst = 1,
        kMessageBoxThird = 2,
        kMessageBoxSecond = 7
    };
    virtual int ShowMessageBox(const char* text, const char* caption, int type) = 0;
    // Shows menu modally; returns the menu chosen from (its chosen index set) or null.
    virtual IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* area) = 0;
    // Opens a one-line text field; its text comes back through SetFromStringAfterPrompt (with a
    // parameter) or the control's TextFromTextEntry.
    virtual void CreateTextEntry(IControl* control, IText* style, IRECT* area, const char* text,
                                 IParam* param) = 0;
    virtual void HostPath(WDL_String* path) = 0;
    virtual void PluginPath(WDL_String* path) = 0;
    virtual void DesktopPath(WDL_String* path) = 0;
    virtual void AppSupportPath(WDL_String* path, bool isSystem = false) = 0;
    virtual void SandboxSafeAppSupportPath(WDL_String* path) = 0;
    virtual void PromptForFile(WDL_String* file, EFileAction action = kFileOpen,
                               WDL_String* dir = nullptr, const char* extensions = "") = 0;
    virtual bool PromptForColor(IColor* color, const char* prompt = "") = 0;
    virtual bool OpenURL(const char* url, const char* msgWindowTitle = nullptr,
                         const char* confirmMsg = nullptr, const char* errMsg = nullptr) = 0;
    void* OpenWindow(void* parent) override = 0; // creates the view and returns it
    virtual void* OpenWindow(void* /*window*/, void* /*control*/, short /*leftOffset*/,
                             short /*topOffset*/) {
        return nullptr;
    }
    virtual void AttachSubWindow(void* /*hostWindow*/) {}
    virtual void RemoveSubWindow() {}
    virtual void CloseWindow() = 0;
    virtual void* GetWindow() = 0;
    virtual bool GetTextFromClipboard(WDL_String* str) = 0;
    virtual void HideMouseCursor() {}
    virtual void ShowMouseCursor() {}
    virtual void UpdateTooltips() = 0;
    // Loads an image resource; null when it cannot. The caller (LoadIBitmap) caches it.
    virtual LICE_IBitmap* OSLoadBitmap(int id, const char* name) = 0;

    // ---- Control list (user-interface thread) ----
    int AttachControl(IControl* control); // takes ownership; returns the index
    // Image id/name as the background (blend: overwrite), inserted at index 0.
    void AttachBackground(int id, const char* name);
    void AttachPanelBackground(const IColor* color);
    void AttachKeyCatcher(IControl* control); // takes ownership
    IControl* GetControl(int idx) const { return mControlList.Get(idx); }
    int NControls() const { return mControlList.GetSize(); }
    // Every control bound to paramIdx.
    void HideControl(int paramIdx, bool hide);
    void GrayOutControl(int paramIdx, bool gray);
    // lo and hi are normalised unless normalized is false; applied at each control's next
    // SetDirty.
    void ClampControl(int paramIdx, double lo, double hi, bool normalized);
    void SetStrictDrawing(bool strict); // then every control dirty
    bool GetStrictDrawing() const { return mStrictRedraw; }
    void SetAllControlsDirty();
    void AssignParamNameToolTips();
    void OnGUIIdle();

    // ---- Parameter synchronisation ----
    // Virtual, like PrepDraw: the plug-in base calls both without linking the editor.
    void SetParameterFromPlug(int paramIdx, double value, bool normalized) override;
    void SetControlFromPlug(int controlIdx, double normalizedValue); // ignores a bad index
    // Sets every control bound to paramIdx as if the user had; each pushes to the plug-in.
    void SetParameterFromGUI(int paramIdx, double normalizedValue);

    // ---- The plug-in's quality setting (shown by IQualitySwitchControl) ----
    // Marks the quality switches dirty when the setting changes; same threads as
    // SetParameterFromPlug.
    void SetQualityFromPlug(int quality) override;
    int GetQuality() const { return mQuality; }

    // ---- Prompts ----
    // A popup menu for enumerations and booleans with display texts, else a text field.
    void PromptUserInput(IControl* control, IParam* param, IRECT* where);
    // Applies the text a text field returned: display text for booleans and enumerations, else
    // a number (normalisation clamps it to the parameter's range).
    void SetFromStringAfterPrompt(IControl* control, IParam* param, const char* text);

    // ---- Scale (user-interface thread) ----
    // Sets the host's factor, clamped to [kMinScale, kMaxScale] (a factor that is not finite
    // changes nothing); the factor in force is that times the user's zoom, clamped again. Remakes
    // the back buffer when there is one, makes every image loaded so far at the new factor and
    // marks every control dirty. Answers the factor in force. Platform layers with an open window
    // also resize it.
    virtual double SetScale(double scale);
    double GetScale() const { return mScale; }
    // The scale, in hundredths within [kMinScale, kMaxScale], at which the editor best fills
    // w x h device pixels without exceeding it; kMinScale when even 1x does not fit.
    double ScaleToFit(int w, int h) const;
    // The size asked for is the view's, the user's zoom included: the host's factor is the scale
    // that fits it divided by the zoom (at least kMinScale, so a size below the zoomed editor
    // leaves the view larger).
    void SetPreferredSize(int width, int height) override;

    // ---- The user's zoom (user-interface thread; steps and settings file in UserZoom.h) ----
    // SetScale takes the host's (or the desktop's) factor; the editor draws at that factor times
    // the user's zoom, within [kMinScale, kMaxScale].
    double GetHostScale() const { return mHostScale; }
    int GetUserZoom() const { return mUserZoom; }
    // Makes percent (the nearest step) the zoom and applies it through SetScale, so a platform
    // layer resizes its window. Answers whether the factor in force changed.
    bool SetUserZoom(int percent);
    // The user's own request (Ctrl + wheel, Ctrl +/-): a step up (direction > 0) or down, or back
    // to 100 % (0). Written to the settings file once RememberUserZoom was called. Answers
    // whether the zoom changed.
    bool StepUserZoom(int direction);
    // The zoom becomes this user's remembered one: read from the settings file now (for the
    // plug-in's maker and name), and written there on every change StepUserZoom makes.
    void RememberUserZoom() override;

    int DeviceWidth() const { return ToDevice(mWidth); }
    int DeviceHeight() const { return ToDevice(mHeight); }
    int ToDevice(int editorPx) const;
    IRECT ToDevice(const IRECT& r) const;      // each edge rounded to the nearest device pixel
    int ToEditor(int devicePx) const;          // the editor pixel holding the device pixel
    IRECT ToEditor(const IRECT& device) const; // the editor pixels that cover the area

    // ---- Redraw ----
    // (Re)makes the back buffer (device pixels) and the scratch bitmap.
    void PrepDraw() override;
    // Unites the rectangles of every dirty control into *r (the caller passes it empty).
    bool IsDirty(IRECT* r);
    bool Draw(IRECT* r);

    // ---- Input (editor pixels) ----
    void OnMouseDown(int x, int y, IMouseMod* mod);
    void OnMouseUp(int x, int y, IMouseMod* mod);
    void OnMouseDrag(int x, int y, IMouseMod* mod);
    bool OnMouseDblClick(int x, int y, IMouseMod* mod); // true when it started a capture
    void OnMouseWheel(int x, int y, IMouseMod* mod, int delta);
    bool OnMouseOver(int x, int y, IMouseMod* mod); // returns whether hover tracking is on
    void OnMouseOut();
    bool OnKeyDown(int x, int y, int key); // true when a control handled the key
    // The captured control, else the topmost hittable control; -1 when nothing is hit.
    int GetMouseControlIdx(int x, int y, bool mouseOver = false);
    // Drops the capture and ends the gesture its press opened: for a window closed, or a mouse
    // lost, before the release arrived.
    void ReleaseMouseCapture();
    int GetCapturedControl() const { return mCapturedControl; }
    int GetParamIdxForPTAutomation(int x, int y);
    int GetLastClickedParamForPTAutomation();
    void HandleMouseOver(bool canHandle) { mTrackHover = canHandle; }
    bool TooltipsEnabled() const { return mTooltipsOn; }
    void EnableTooltips(bool enable) { mTooltipsOn = enable; }
    int GetHoverControl() const { return mHoverControl; }
    // A key from the platform layer: the open value field takes every key first (character is
    // the printable ASCII character the key typed, else 0); otherwise a key the editor knows
    // (key >= 0) goes to OnKeyDown. True when the editor used it.
    bool OnKeyTyped(int x, int y, int key, int character);

    // ---- Value readout and typed values (user-interface thread) ----
    // While the pointer is over a control that shows its value (a knob) or a press on one is
    // dragging it, the editor draws the parameter's name and value as the host shows them in a
    // box of its own beside the control, never over it, and takes the box away when the pointer
    // has left both and the press has ended. A double click on the box opens a one-line field in
    // its place, drawn by the editor too: typed characters replace the value shown, Backspace
    // deletes, Enter sets the value read from the text (out of range clamped; text that is no
    // value is refused and the field stays), Escape or a press elsewhere closes it unchanged.
    // Whatever the back buffer shows is updated by IsDirty, so host changes reach the readout.
    bool ValueOverlayShown() const { return mOverlay.control >= 0; }
    bool ValueEntryOpen() const { return mEntryControl >= 0; }
    const char* ValueOverlayText() const { return mOverlay.text; } // as last drawn
    IRECT ValueOverlayArea() const { return mOverlay.area; }       // editor pixels, as last drawn
    int ValueOverlayControl() const { return mOverlay.control; }   // -1 when nothing is drawn
    // Opens the field for the control's parameter (a control that shows its value); false when
    // it cannot.
    bool OpenValueEntry(int controlIdx);
    const char* ValueEntryText() const { return mEntryText; }
    bool CommitValueEntry(); // false when the text is refused (the field stays open)
    void CancelValueEntry();
    static constexpr int kValueTextLen = 64;
    static constexpr int kEntryMaxChars = 16;
    static constexpr int kReadoutGap = 20; // editor pixels between a control and its readout

    // ---- Resources (process-wide caches; any thread) ----
    // Loads once per id and shares the image between every editor of the process. A resource
    // that fails to load gives a record without an image (0 x 0), which controls do not draw.
    // The editor also notes the resource (on the thread that builds it, the user-interface
    // thread) so that it can draw it from the artwork set of any scale.
    IBitmap LoadIBitmap(int resourceId, const char* name, int nStates = 1,
                        bool framesAreHorizontal = false);
    IBitmap ScaleBitmap(IBitmap* bitmap, int destW, int destH); // owned by the cache
    IBitmap CropBitmap(IBitmap* bitmap, IRECT* r);              // owned by the cache
    void RetainBitmap(IBitmap* bitmap);                         // hands the image to the cache
    void ReleaseBitmap(IBitmap* bitmap); // removes it from the cache and destroys it now
    LICE_IFont* CacheFont(IText* text);  // null when no font can be made

    // ---- Drawing primitives (into the back buffer; user-interface thread) ----
    bool DrawBitmap(IBitmap* bitmap, IRECT* dest, int srcX, int srcY,
                    const IChannelBlend* blend = nullptr);
    // frame counts from 1.
    bool DrawBitmap(IBitmap* bitmap, IRECT* dest, int frame = 1,
                    const IChannelBlend* blend = nullptr);
    bool DrawRotatedBitmap(IBitmap* bitmap, int destCtrX, int destCtrY, double angle,
                           int yOffsetZeroDeg = 0, const IChannelBlend* blend = nullptr);
    bool DrawRotatedMask(IBitmap* base, IBitmap* mask, IBitmap* top, int x, int y,
                         double angleDegrees, const IChannelBlend* blend = nullptr);
    bool DrawPoint(const IColor* color, float x, float y, const IChannelBlend* blend = nullptr,
                   bool antiAlias = false);
    bool ForcePixel(const IColor* color, int x, int y); // (x, y) must lie in the back buffer
    IColor GetPoint(int x, int y);
    bool DrawLine(const IColor* color, float x1, float y1, float x2, float y2,
                  const IChannelBlend* blend = nullptr, bool antiAlias = false);
    bool DrawArc(const IColor* color, float cx, float cy, float r, float minAngle, float maxAngle,
                 const IChannelBlend* blend = nullptr, bool antiAlias = false);
    bool DrawCircle(const IColor* color, float cx, float cy, float r,
                    const IChannelBlend* blend = nullptr, bool antiAlias = false);
    bool RoundRect(const IColor* color, IRECT* r, const IChannelBlend* blend, int cornerRadius,
                   bool antiAlias);
    bool FillRoundRect(const IColor* color, IRECT* r, const IChannelBlend* blend, int cornerRadius,
                       bool antiAlias);
    bool FillIRect(const IColor* color, IRECT* r, const IChannelBlend* blend = nullptr);
    bool FillCircle(const IColor* color, int cx, int cy, float r,
                    const IChannelBlend* blend = nullptr, bool antiAlias = false);
    bool FillTriangle(const IColor* color, int x1, int y1, int x2, int y2, int x3, int y3,
                      const IChannelBlend* blend = nullptr);
    bool FillIConvexPolygon(const IColor* color, int* x, int* y, int npoints,
                            const IChannelBlend* blend = nullptr);
    bool DrawVerticalLine(const IColor* color, int xi, int yLo, int yHi);
    bool DrawHorizontalLine(const IColor* color, int yi, int xLo, int xHi);
    // x (or y) in 0..1 across the rectangle; y counts up from the bottom.
    bool DrawVerticalLine(const IColor* color, IRECT* r, float x);
    bool DrawHorizontalLine(const IColor* color, IRECT* r, float y);
    bool DrawRect(const IColor* color, IRECT* r);
    // angle in radians, 0 pointing up, clockwise positive.
    bool DrawRadialLine(const IColor* color, float cx, float cy, float angle, float rMin,
                        float rMax, const IChannelBlend* blend = nullptr, bool antiAlias = false);
    // Not clipped to the redraw rectangle. Measuring sets r to the text's extent instead.
    bool DrawIText(IText* text, const char* str, IRECT* r, bool measure = false);
    void* GetBits();

    // ---- Accessors ----
    int Width() const { return mWidth; }
    int Height() const { return mHeight; }
    int FPS() const { return mFrameRate; }
    IPlugBase* GetPlug() const { return mOwnerPlug; }
    // For reading: drawing goes through the primitives above (or GetBits, for raw writes), so
    // that the editor knows which areas no longer hold the background.
    LICE_SysBitmap* GetBackBuffer() const { return mBackBuffer; }
    const IRECT* GetRedrawRect() const { return &mRedrawRect; }

protected:
    // Topmost control that takes a press at (x, y), or -1.
    int HitSearch(int x, int y, bool mouseOver) const;
    // dest and the source position in device pixels; clipped to the redraw rectangle.
    bool BlitClipped(LICE_IBitmap* src, const IRECT* dest, int srcX, int srcY,
                     const IChannelBlend* blend);
    // The background (control 0) over area, editor pixels: a background that is one opaque
    // image over the whole editor is copied only where the back buffer may differ from it
    // (IGraphicsBackdrop.cpp). Leaves the redraw rectangle at area.
    void DrawBackdrop(IControl* background, IRECT area); // area by value: it may be mRedrawRect
    bool IsOpaqueBackdrop(IControl* background);
    // A drawing call wrote the device area (grown by margin on every side).
    void NoteDrawn(int left, int top, int right, int bottom);
    void NoteDrawn(const IRECT& device, int margin = 0);
    // The same for shapes, from their geometry in device pixels.
    void NoteLine(int x1, int y1, int x2, int y2);
    void NoteCircle(float cx, float cy, float r);
    void NotePolygon(const int* x, const int* y, int n);
    static constexpr int kShapeMargin = 2; // an antialiased edge's reach past the geometry
    // The back buffer's contents are unknown again (a new buffer, new images, other controls).
    void ForgetBackdrop();
    static constexpr int kMaxDrawnAreas = 32;
    IRECT mDrawnAreas[kMaxDrawnAreas]; // device pixels; what lies outside is the background
    int mNumDrawnAreas = 0;
    bool mBackdropValid = false;                // mDrawnAreas holds since a whole background draw
    const IControl* mBackdropControl = nullptr; // the background drawn then
    bool mDrawingBackdrop = false;              // its own copies are not noted
    // The image to draw for bitmap at the current scale: its own at 1x, else the scaled copy made
    // for it (from the artwork sets, or enlarged when it has none). Null for a failed resource.
    LICE_IBitmap* DeviceImage(const IBitmap* bitmap);
    struct ImageSource; // an image loaded by resource, and its copy at the current scale
    // Records an image LoadIBitmap gave, so that it can be made at any scale.
    void NoteImageSource(int id, const char* name, const IBitmap& bitmap);
    void MakeScaledImage(ImageSource* source);
    void MakeScaledImages(); // every image loaded so far, at the current scale
    void DropScaledImage(ImageSource* source);
    void DeleteImageSources();
    WDL_PtrList<ImageSource> mImageSources{64};
    double mScale = 1.0;
    double mHostScale = 1.0; // what SetScale was last given, within [kMinScale, kMaxScale]
    int mUserZoom = 100;     // percent, one of the steps
    bool mRemembersZoom = false;
    void DeleteControls();
    // Gestures towards the host. A press opens one for its control's parameter and the release
    // (or the next press, when a release never came) closes it. Edits outside a press (wheel,
    // double click, menu choice, typed text) get a gesture of their own: BeginEditGesture
    // answers what it opened, which EndEditGesture then closes.
    enum EditGesture { kNoGesture, kTrackedGesture, kUntrackedGesture };
    void OpenPressGesture(int paramIdx);
    void ClosePressGesture();
    EditGesture BeginEditGesture(int paramIdx);
    void EndEditGesture(int paramIdx, EditGesture opened);

    WDL_PtrList<IControl> mControlList{512};
    IPlugBase* mOwnerPlug;
    IRECT mRedrawRect;
    bool mCursorHidden = false;
    int mCursorRestoreX = -1, mCursorRestoreY = -1;
    LICE_SysBitmap* mBackBuffer = nullptr;
    LICE_MemBitmap* mScratchBitmap = nullptr;
    int mWidth, mHeight;
    int mFrameRate;
    int mCapturedControl = -1;
    int mHoverControl = -1;
    int mLastMouseX = 0, mLastMouseY = 0;
    int mLastClickedParamIdx = -1;
    bool mTrackHover = false;
    bool mStrictRedraw = true;
    bool mTooltipsOn = false;
    IControl* mKeyFallbackControl = nullptr;
    int mQuality = 0;          // the plug-in's quality setting, as last told
    int mGestureParamIdx = -1; // parameter of the gesture the current press opened; -1 none

    // The value readout and field (IGraphicsValues.cpp).
    struct ValueOverlay {
        int control = -1;     // the control whose value is drawn; -1 none
        bool entry = false;   // the typed-value field rather than the readout
        bool replace = false; // the field still shows the value, replaced by the first character
        IRECT area;           // editor pixels
        double scale = 0.0;   // the scale its text was laid out at
        char text[kValueTextLen] = "";
    };
    void TrackReadoutHover(int x, int y); // the pointer moved to (x, y) without a press
    bool InValueOverlay(int x, int y) const;
    void WantedOverlay(ValueOverlay* overlay);
    // Brings what is drawn up to date; true (and the areas to repaint in *r) when it changed.
    bool UpdateValueOverlay(IRECT* r);
    void DrawValueOverlay();
    void EntryKey(int key, int character);
    void ResetValueOverlay(); // the controls are going
    ValueOverlay mOverlay;    // what the back buffer shows
    int mReadoutHover = -1;   // control under the pointer that shows its value; -1 none
    int mEntryControl = -1;   // control of the open field; -1 none
    char mEntryText[kEntryMaxChars + 1] = "";
    bool mEntryReplace = false;
};
