#include "editor/IPopupMenu.h"

IPopupMenu::~IPopupMenu() {
    mMenuItems.Empty(true);
}

IPopupMenuItem* IPopupMenu::AddItem(IPopupMenuItem* item, int index) {
    if (!item) return nullptr;
    const int n = mMenuItems.GetSize();
    if (index == -1 || index > n) index = n;
    if (index < 0) index = 0;
    if (!mMenuItems.Insert(index, item)) { // out of memory: the menu cannot take it
        delete item;
        return nullptr;
    }
    return item;
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, int flags) {
    return AddItem(new IPopupMenuItem(text, flags), index);
}

IPopupMenuItem* IPopupMenu::AddItem(const char* text, int index, IPopupMenu* submenu) {
    return AddItem(new IPopupMenuItem(text, submenu), index);
}

IPopupMenuItem* IPopupMenu::AddSeparator(int index) {
    return AddItem(new IPopupMenuItem("", IPopupMenuItem::kSeparator), index);
}

bool IPopupMenu::CheckItem(int index, bool state) {
    IPopupMenuItem* item = mMenuItems.Get(index);
    if (!item) return false;
    item->SetChecked(state);
    return true;
}

void IPopupMenu::CheckItemAlone(int index) {
    for (int i = 0; i < mMenuItems.GetSize(); ++i)
        mMenuItems.Get(i)->SetChecked(i == index);
}

bool IPopupMenu::IsItemChecked(int index) const {
    const IPopupMenuItem* item = mMenuItems.Get(index);
    return item && item->GetChecked();
}
