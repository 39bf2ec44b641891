// The editor's value readout and its typed-value field: which control they belong to, where they
// sit, how they are drawn and what the keys do to the field. Both are drawn over the controls by
// the editor itself (no platform widget), in opaque boxes, so that drawing one again over itself
// gives the same pixels and a partial repaint never leaves a trace.
#include "editor/IGraphics.h"

#include "editor/IControl.h"
#include "editor/ValueText.h"
#include "plugin/IParam.h"
#include "plugin/IPlugBase.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr int kPadX = 6, kPadY = 3; // editor pixels around the text
constexpr int kEntryMinW = 64;      // the field's least width: room for a few more characters
constexpr int kBorder = 1;

// The editor's palette: the dark of its bottom bar, the cream of its lettering, a brass edge.
constexpr IColor kReadoutFill(255, 27, 21, 21);
constexpr IColor kReadoutEdge(255, 150, 118, 84);
constexpr IColor kCream(255, 242, 231, 208);
constexpr IColor kInk(255, 34, 24, 24);
constexpr IColor kSelection(255, 205, 160, 118);

IText ReadoutStyle(const IColor& color, int align) {
    IText style(11, &color, "DejaVu Sans", IText::kStyleBold, align);
    return style;
}

// Below the control when the editor has room, else above it; centred on it across, kept inside
// the editor.
IRECT PlaceBeside(const IRECT& control, int w, int h, int editorW, int editorH) {
    int left = (control.left + control.right) / 2 - w / 2;
    left = std::max(0, std::min(left, editorW - w));
    int top = control.bottom + IGraphics::kReadoutGap;
    if (top + h > editorH) top = std::max(0, control.top - IGraphics::kReadoutGap - h);
    return IRECT(left, top, left + w, top + h);
}

} // namespace

// ---- Which control, and what is shown ----

void IGraphics::TrackReadoutHover(int x, int y) {
    const int c = HitSearch(x, y, true);
    IControl* control = GetControl(c);
    if (control && control->ShowsValueReadout())
        mReadoutHover = c;
    else if (!InValueOverlay(x, y))
        mReadoutHover = -1; // over the readout itself it stays, to be double-clicked
}

bool IGraphics::InValueOverlay(int x, int y) const {
    return mOverlay.control >= 0 && mOverlay.area.Contains(x, y);
}

void IGraphics::WantedOverlay(ValueOverlay* o) {
    *o = ValueOverlay();
    int idx = mEntryControl;
    if (idx < 0) {
        IControl* captured = GetControl(mCapturedControl);
        idx = captured && captured->ShowsValueReadout() ? mCapturedControl : mReadoutHover;
    }
    IControl* control = GetControl(idx);
    const IParam* param = control ? control->GetParam() : nullptr;
    if (!param || !control->ShowsValueReadout() || control->IsHidden()) {
        mEntryControl = -1;
        return;
    }
    o->control = idx;
    o->entry = mEntryControl >= 0;
    o->replace = o->entry && mEntryReplace;
    o->scale = GetScale();
    if (o->entry)
        std::snprintf(o->text, sizeof o->text, "%s", mEntryText);
    else
        ValueReadoutText(param, control->GetValue(), o->text, sizeof o->text);
    // Text is laid out only when it changed: a hovered knob costs no layout per frame.
    if (o->control == mOverlay.control && o->entry == mOverlay.entry &&
        o->scale == mOverlay.scale && !std::strcmp(o->text, mOverlay.text)) {
        o->area = mOverlay.area;
        return;
    }
    IRECT extent;
    if (o->entry) {
        // The field sits where the readout did and is at least as wide.
        char readout[kValueTextLen];
        ValueReadoutText(param, control->GetValue(), readout, sizeof readout);
        IText style = ReadoutStyle(kInk, IText::kAlignNear);
        IRECT typed;
        MeasureIText(&style, readout, &extent);
        MeasureIText(&style, *o->text ? o->text : "0", &typed);
        // Room for the caret after the text, and for a few more characters.
        extent.right = extent.left + std::max({extent.W(), typed.W() + 3, kEntryMinW - 2 * kPadX});
    } else {
        IText style = ReadoutStyle(kCream, IText::kAlignNear);
        MeasureIText(&style, o->text, &extent);
    }
    o->area = PlaceBeside(*control->GetRECT(), extent.W() + 2 * kPadX, extent.H() + 2 * kPadY,
                          Width(), Height());
}

bool IGraphics::UpdateValueOverlay(IRECT* r) {
    ValueOverlay want;
    WantedOverlay(&want);
    const ValueOverlay& had = mOverlay;
    if (want.control == had.control && want.entry == had.entry && want.replace == had.replace &&
        want.area == had.area && want.scale == had.scale && !std::strcmp(want.text, had.text))
        return false;
    // What lay under the old box is drawn again, then the new box over it.
    if (had.control >= 0) *r = r->UnionWith(had.area);
    if (want.control >= 0) *r = r->UnionWith(want.area);
    if (!mStrictRedraw && NControls() > 0) GetControl(0)->SetDirty(false);
    mOverlay = want;
    return true;
}

void IGraphics::ResetValueOverlay() {
    mOverlay = ValueOverlay();
    mReadoutHover = -1;
    mEntryControl = -1;
}

// ---- Drawing ----

void IGraphics::DrawValueOverlay() {
    if (mOverlay.control < 0 || !mBackBuffer) return;
    IRECT box = mOverlay.area;
    IRECT inner(box.left + kBorder, box.top + kBorder, box.right - kBorder, box.bottom - kBorder);
    IRECT text(box.left + kPadX, box.top + kPadY, box.right - kPadX, box.bottom - kPadY);
    if (!mOverlay.entry) {
        FillIRect(&kReadoutEdge, &box);
        FillIRect(&kReadoutFill, &inner);
        IText style = ReadoutStyle(kCream, IText::kAlignCenter);
        DrawIText(&style, mOverlay.text, &text);
        return;
    }
    FillIRect(&kReadoutFill, &box);
    FillIRect(&kCream, &inner);
    IText style = ReadoutStyle(kInk, IText::kAlignNear);
    IRECT typed = text;
    if (*mOverlay.text)
        MeasureIText(&style, mOverlay.text, &typed);
    else
        typed.right = typed.left;
    // The value the field opened with is selected: the first character typed replaces it.
    if (mOverlay.replace && typed.W() > 0) {
        IRECT selection(typed.left - 1, text.top, typed.right + 1, text.bottom);
        FillIRect(&kSelection, &selection);
    }
    DrawIText(&style, mOverlay.text, &text);
    IRECT caret(typed.right + 1, text.top, typed.right + 2, text.bottom);
    FillIRect(&kInk, &caret);
}

// ---- The field ----

bool IGraphics::OpenValueEntry(int controlIdx) {
    IControl* control = GetControl(controlIdx);
    const IParam* param = control ? control->GetParam() : nullptr;
    if (!param || !control->ShowsValueReadout() || control->IsHidden()) return false;
    char display[IParam::kMaxNameLen];
    param->GetDisplayForHost(control->GetValue(), true, display, sizeof display, true);
    display[kEntryMaxChars] = 0; // the field's length; a longer display is cut
    std::memcpy(mEntryText, display, std::strlen(display) + 1);
    mEntryControl = controlIdx;
    mEntryReplace = true;
    return true;
}

void IGraphics::CancelValueEntry() {
    mEntryControl = -1;
    mEntryText[0] = 0;
}

bool IGraphics::CommitValueEntry() {
    IControl* control = GetControl(mEntryControl);
    const IParam* param = control ? control->GetParam() : nullptr;
    if (!param) {
        CancelValueEntry();
        return false;
    }
    double value = 0.0;
    if (!ParseTypedValue(param, mEntryText, &value)) return false;
    const int paramIdx = control->ParamIdx();
    CancelValueEntry();
    // A gesture of its own, with every control of the parameter following.
    SetParameterFromGUI(paramIdx, param->GetNormalized(value));
    return true;
}

void IGraphics::EntryKey(int key, int character) {
    const size_t len = std::strlen(mEntryText);
    switch (key) {
    case KEY_RETURN:
        CommitValueEntry();
        return;
    case KEY_ESCAPE:
        CancelValueEntry();
        return;
    case KEY_BACKSPACE:
        if (mEntryReplace)
            mEntryText[0] = 0;
        else if (len > 0)
            mEntryText[len - 1] = 0;
        mEntryReplace = false;
        return;
    default:
        break;
    }
    if (character < 0x20 || character > 0x7e) return;
    if (mEntryReplace) {
        mEntryText[0] = 0;
        mEntryReplace = false;
    }
    const size_t now = std::strlen(mEntryText);
    if (now >= size_t(kEntryMaxChars)) return;
    mEntryText[now] = static_cast<char>(character);
    mEntryText[now + 1] = 0;
}

bool IGraphics::OnKeyTyped(int x, int y, int key, int character) {
    if (mEntryControl >= 0) {
        EntryKey(key, character);
        return true;
    }
    return key >= 0 && OnKeyDown(x, y, key);
}
