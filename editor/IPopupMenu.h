// The model of a popup menu that the platform shows modally: items with flags, optional
// submenus (not owned) and a numbering prefix. The platform sets chosenItemIdx on the menu the
// user chose from.
#pragma once

#include "containers/WDL_PtrList.h"
#include "containers/WDL_String.h"

class IPopupMenu;

class IPopupMenuItem {
public:
    enum Flags { kNoFlags = 0, kDisabled = 1, kTitle = 2, kChecked = 4, kSeparator = 8 };

    explicit IPopupMenuItem(const char* text, int flags = kNoFlags) : mText(text), mFlags(flags) {}
    IPopupMenuItem(const char* text, IPopupMenu* submenu) : mText(text), mSubmenu(submenu) {}

    void SetChecked(bool state) { mFlags = state ? (mFlags | kChecked) : (mFlags & ~kChecked); }

    const char* GetText() const { return mText.Get(); }
    int GetFlags() const { return mFlags; }
    IPopupMenu* GetSubmenu() const { return mSubmenu; }
    bool GetEnabled() const { return !(mFlags & kDisabled); }
    bool GetChecked() const { return (mFlags & kChecked) != 0; }
    bool GetIsTitle() const { return (mFlags & kTitle) != 0; }
    bool GetIsSeparator() const { return (mFlags & kSeparator) != 0; }

private:
    WDL_String mText;
    IPopupMenu* mSubmenu = nullptr;
    int mFlags = kNoFlags;
};

class IPopupMenu {
public:
    IPopupMenu() = default;
    ~IPopupMenu(); // deletes the items, last first; submenus are the caller's
    IPopupMenu(const IPopupMenu&) = delete;
    IPopupMenu& operator=(const IPopupMenu&) = delete;

    // index -1 appends; other negative indices insert first, indices past the end append.
    // The menu owns the item from then on. Returns the item.
    IPopupMenuItem* AddItem(IPopupMenuItem* item, int index = -1);
    IPopupMenuItem* AddItem(const char* text, int index = -1, int flags = IPopupMenuItem::kNoFlags);
    IPopupMenuItem* AddItem(const char* text, int index, IPopupMenu* submenu);
    IPopupMenuItem* AddItem(const char* text, IPopupMenu* submenu) {
        return AddItem(text, -1, submenu);
    }
    IPopupMenuItem* AddSeparator(int index = -1);

    // 0 none; 1, 2, 3 number items from 1 as "%1d: ", "%02d: ", "%03d: ". Other values ignored.
    void SetPrefix(int count) {
        if (count >= 0 && count <= 3) mPrefix = count;
    }
    int GetPrefix() const { return mPrefix; }

    void SetChosenItemIdx(int index) { mChosenItemIdx = index; }
    int GetChosenItemIdx() const { return mChosenItemIdx; }

    int GetNItems() const { return mMenuItems.GetSize(); }
    IPopupMenuItem* GetItem(int index) const { return mMenuItems.Get(index); }
    // "" for an empty text; the caller keeps index in range.
    const char* GetItemText(int index) const { return mMenuItems.Get(index)->GetText(); }

    bool CheckItem(int index, bool state); // false outside the list
    void CheckItemAlone(int index);
    bool IsItemChecked(int index) const; // false outside the list

private:
    int mPrefix = 0;
    int mChosenItemIdx = -1;
    WDL_PtrList<IPopupMenuItem> mMenuItems{64};
};
