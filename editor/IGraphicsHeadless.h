// The editor on a platform without a window: images come from the loaded bundle with the
// editor's bundle identifier (or from a resource folder set explicitly), every window operation
// answers null, false or nothing. Drawing happens into the back buffer only, so tests, tools and
// benchmarks drive the redraw cycle and input routines directly.
#pragma once

#include "editor/IGraphics.h"

class IGraphicsHeadless : public IGraphics {
public:
    IGraphicsHeadless(IPlugBase* plug, int width, int height, int fps = 0);

    // The resource folder every headless editor made from now on starts with ("" or null: none,
    // the bundle is used). Set once at start-up by programs that run from a build tree, before
    // any plug-in (and so any editor) is made.
    static void SetDefaultResourceDir(const char* dir);

    // The bundle whose Resources folder holds the images.
    void SetBundleID(const char* bundleID) { mBundleID.Set(bundleID); }
    const char* GetBundleID() const { return mBundleID.Get(); }
    // When set, images are read from this folder (base name + ".png") instead of the bundle:
    // for runs from a build tree, where no bundle is loaded.
    void SetResourceDir(const char* dir) { mResourceDir.Set(dir); }
    const char* GetResourceDir() const { return mResourceDir.Get(); }

    bool DrawScreen(IRECT* /*r*/) override { return true; }
    void ForceEndUserEdit() override {}
    const char* GetGUIAPI() override { return "Headless"; }
    int ShowMessageBox(const char* /*text*/, const char* /*caption*/, int /*type*/) override {
        return 0;
    }
    IPopupMenu* CreateIPopupMenu(IPopupMenu* /*menu*/, IRECT* /*area*/) override { return nullptr; }
    void CreateTextEntry(IControl* /*control*/, IText* /*style*/, IRECT* /*area*/,
                         const char* /*text*/, IParam* /*param*/) override {}
    void HostPath(WDL_String* /*path*/) override {}
    void PluginPath(WDL_String* /*path*/) override {}
    void DesktopPath(WDL_String* /*path*/) override {}
    void AppSupportPath(WDL_String* /*path*/, bool /*isSystem*/ = false) override {}
    void SandboxSafeAppSupportPath(WDL_String* /*path*/) override {}
    // No file can be chosen: the file name comes back empty.
    void PromptForFile(WDL_String* file, EFileAction action = kFileOpen, WDL_String* dir = nullptr,
                       const char* extensions = "") override;
    bool PromptForColor(IColor* /*color*/, const char* /*prompt*/ = "") override { return false; }
    bool OpenURL(const char* /*url*/, const char* /*msgWindowTitle*/ = nullptr,
                 const char* /*confirmMsg*/ = nullptr, const char* /*errMsg*/ = nullptr) override {
        return false;
    }
    using IGraphics::OpenWindow;
    void* OpenWindow(void* /*parent*/) override { return nullptr; }
    void CloseWindow() override {}
    void* GetWindow() override { return nullptr; }
    bool GetTextFromClipboard(WDL_String* str) override;
    void UpdateTooltips() override {}
    LICE_IBitmap* OSLoadBitmap(int id, const char* name) override;

private:
    WDL_String mBundleID;
    WDL_String mResourceDir;
};
