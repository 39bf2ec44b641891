#include "editor/IGraphicsHeadless.h"

#include "editor/IGraphicsResources.h"

namespace {

WDL_String& DefaultResourceDir() {
    static WDL_String dir;
    return dir;
}

} // namespace

IGraphicsHeadless::IGraphicsHeadless(IPlugBase* plug, int width, int height, int fps)
    : IGraphics(plug, width, height, fps), mResourceDir(DefaultResourceDir()) {}

void IGraphicsHeadless::SetDefaultResourceDir(const char* dir) {
    DefaultResourceDir().Set(dir ? dir : "");
}

void IGraphicsHeadless::PromptForFile(WDL_String* file, EFileAction /*action*/, WDL_String* /*dir*/,
                                      const char* /*extensions*/) {
    if (file) file->Set("");
}

bool IGraphicsHeadless::GetTextFromClipboard(WDL_String* str) {
    if (str) str->Set("");
    return false;
}

LICE_IBitmap* IGraphicsHeadless::OSLoadBitmap(int /*id*/, const char* name) {
    if (mResourceDir.GetLength()) return LoadImgFromResourceDir(mResourceDir.Get(), name);
    return LoadImgFromResourceOSX(mBundleID.Get(), name);
}
