// What the plug-in base asks of its editor, whatever platform shows it.
//
// The base owns the editor it is given (AttachGraphics) and deletes it with itself; it tells the
// editor every parameter change that does not come from the editor, and asks it to make its
// back buffer once the controls hold their first values. A wrapper may also open the editor's
// view for its host. Closing is the view's own business (its host removes it, or the editor is
// deleted).
//
// Threads: the user-interface thread, except SetParameterFromPlug, which may come on whatever
// thread sets a parameter (with the plug-in mutex held) and so only stores values and raises
// dirty flags.
#pragma once

class IPlugEditor {
public:
    virtual ~IPlugEditor() = default;

    // The plug-in side changed paramIdx: value is normalised (0..1) when normalized is true,
    // else a real value. Moves the controls bound to it; nothing goes back to the plug-in.
    virtual void SetParameterFromPlug(int paramIdx, double value, bool normalized) = 0;
    // (Re)makes the back buffer the editor draws into.
    virtual void PrepDraw() = 0;
    // Creates the platform view inside parent (null: the platform's default) and returns it,
    // or null when the platform has no view to give. For wrappers whose host asks the plug-in
    // for its view (the Audio Unit's view factory).
    virtual void* OpenWindow(void* parent) = 0;
    // The size a host would like the view to have (the Audio Unit view factory's preferred
    // size), in the view's pixels; 0 x 0 states no wish. Called before OpenWindow. An editor
    // that can draw at more than one scale takes the scale at which it best fills that size.
    virtual void SetPreferredSize(int /*width*/, int /*height*/) {}
    // The zoom this user chose in an editor of the plug-in before (kept in a settings file of the
    // user's), applied on top of the host's scale, and every zoom the user chooses from now on
    // kept there for the next editor. Called before SetPreferredSize and OpenWindow.
    virtual void RememberUserZoom() {}
    // The plug-in's quality setting is now quality (IPlugBase::SetQuality). Same thread rules as
    // SetParameterFromPlug: only stores it and raises dirty flags.
    virtual void SetQualityFromPlug(int /*quality*/) {}
};
