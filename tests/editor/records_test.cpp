// The shared records: rectangle rules the redraw and hit search rely on, and the popup menu.
#include "editor/IGraphicsStructs.h"
#include "editor/IPopupMenu.h"

#include <gtest/gtest.h>

namespace {

TEST(IRECTRules, ContainsIsHalfOpenAndTheEmptyRectangleHoldsNothing) {
    const IRECT r(0, 0, 10, 10);
    EXPECT_TRUE(r.Contains(0, 0));
    EXPECT_TRUE(r.Contains(9, 9));
    EXPECT_FALSE(r.Contains(10, 5));
    EXPECT_FALSE(r.Contains(5, -1));
    EXPECT_FALSE(IRECT().Contains(0, 0));
}

TEST(IRECTRules, TouchingAtTheRightOrBottomEdgeOverlaps) {
    const IRECT r(0, 0, 10, 10);
    EXPECT_TRUE(r.Overlaps(IRECT(10, 0, 20, 10)));
    EXPECT_TRUE(r.Overlaps(IRECT(0, 10, 10, 20)));
    EXPECT_FALSE(r.Overlaps(IRECT(0, 11, 10, 20)));
    EXPECT_FALSE(IRECT(10, 0, 20, 10).Overlaps(IRECT(0, 0, 9, 10)));
    EXPECT_FALSE(r.Overlaps(IRECT()));
    EXPECT_FALSE(IRECT().Overlaps(r));
}

TEST(IRECTRules, UnionSkipsEmptySidesAndClipKeepsTheCommonPart) {
    const IRECT a(10, 10, 20, 20), b(30, 5, 40, 15);
    EXPECT_EQ(a.UnionWith(b), IRECT(10, 5, 40, 20));
    EXPECT_EQ(IRECT().UnionWith(b), b);
    EXPECT_EQ(a.UnionWith(IRECT()), a);
    EXPECT_EQ(IRECT(0, 0, 100, 100).ClipTo(IRECT(90, -5, 120, 10)), IRECT(90, 0, 100, 10));
    EXPECT_TRUE(a.ClipTo(b).Empty());
    EXPECT_TRUE(a.ClipTo(IRECT()).Empty());
}

TEST(PopupMenu, ItemsInsertByIndexAndChecksFollowTheFlags) {
    IPopupMenu menu;
    menu.AddItem("one");
    menu.AddItem("two");
    menu.AddItem("five", 5);  // past the end: appended
    menu.AddItem("zero", -7); // negative: first
    menu.AddSeparator(1);
    ASSERT_EQ(menu.GetNItems(), 5);
    EXPECT_STREQ(menu.GetItemText(0), "zero");
    EXPECT_TRUE(menu.GetItem(1)->GetIsSeparator());
    EXPECT_STREQ(menu.GetItemText(1), "");
    EXPECT_STREQ(menu.GetItemText(4), "five");
    EXPECT_EQ(menu.GetItem(5), nullptr);

    EXPECT_TRUE(menu.CheckItem(2, true));
    EXPECT_FALSE(menu.CheckItem(9, true));
    EXPECT_TRUE(menu.IsItemChecked(2));
    EXPECT_FALSE(menu.IsItemChecked(9));
    menu.CheckItemAlone(3);
    EXPECT_FALSE(menu.IsItemChecked(2));
    EXPECT_TRUE(menu.IsItemChecked(3));

    menu.SetPrefix(2);
    menu.SetPrefix(4);
    EXPECT_EQ(menu.GetPrefix(), 2);
    EXPECT_EQ(menu.GetChosenItemIdx(), -1);

    IPopupMenu sub;
    IPopupMenuItem* item = menu.AddItem("more", &sub);
    EXPECT_EQ(item->GetSubmenu(), &sub); // not owned: the menu's destructor leaves it
    item->SetChecked(true);
    EXPECT_EQ(item->GetFlags(), IPopupMenuItem::kChecked);
}

} // namespace
