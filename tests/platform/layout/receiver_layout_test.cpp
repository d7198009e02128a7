// The receiver's layouts as a source that keeps sending them uses them: the same layout sent anew is the
// same layout, and however many a source sends, only a bounded number is kept.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/layout/receiver_layout.h"

namespace srd {
namespace {

// A layout of a compositor's own keymap, as each keymap event brings it: a fresh copy of the text.
LayoutName OfKeymap(const std::string& text) {
  LayoutName name{"Custom", ""};
  name.keymap = std::make_shared<const std::string>(text);
  return name;
}

TEST(ReceiverLayout, TheSameKeymapSentAgainIsTheLayoutAlreadyKnown) {
  const auto layout = ReceiverLayout::Fixed(LayoutName{"de", ""});
  // Keymap text that does not compile still names a layout (the US positions): it need not be real here.
  layout->Use(OfKeymap("first"));
  const KeyboardLayout* first = &layout->Current();
  layout->Use(OfKeymap("second"));
  const KeyboardLayout* second = &layout->Current();
  for (int i = 0; i < 100; ++i) {
    layout->Use(OfKeymap("first"));
    EXPECT_EQ(&layout->Current(), first);
    layout->Use(OfKeymap("second"));
    EXPECT_EQ(&layout->Current(), second);
  }
  layout->Use(LayoutName{"de", ""});
  EXPECT_EQ(layout->Current().Name().Text(), "de");
}

TEST(ReceiverLayout, EndlesslyNewLayoutsKeepMemoryBounded) {
  const auto layout = ReceiverLayout::Fixed(LayoutName{"us", ""});
  // Far more than are kept: the old ones go, and the switches that come faster than a reader could still
  // hold one leave the current layout in place.
  for (int i = 0; i < 2000; ++i) {
    layout->Use(OfKeymap("keymap " + std::to_string(i)));
  }
  const std::string* text = layout->Current().Name().keymap.get();
  ASSERT_NE(text, nullptr);
  const int kept = std::stoi(text->substr(7));
  EXPECT_LT(kept, 100);
  // A layout still known is switched back to meanwhile, without making it again.
  const KeyboardLayout* last = &layout->Current();
  const LayoutName earlier = OfKeymap("keymap " + std::to_string(kept - 1));
  layout->Use(earlier);
  EXPECT_EQ(layout->Current().Name(), earlier);
  layout->Use(OfKeymap("keymap " + std::to_string(kept)));
  EXPECT_EQ(&layout->Current(), last);
}

}  // namespace
}  // namespace srd
