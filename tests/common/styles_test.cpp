// The hidden style holder: what its creation makes (and does not draw), StyleColor.
#include "common/styles.h"

#include <gtest/gtest.h>

#include <vector>

namespace klv {
namespace {

constexpr TColor kPageColor = 16640730;  // $FDEADA

TEST(StylesTest, HolderIsCreatedHiddenWithNothingDrawn) {
  const StylesUnit unit;
  ASSERT_NE(frmStyles(), nullptr);
  const TfrmStyles& styles = *frmStyles();
  EXPECT_EQ(styles.bounds.left, -1);
  EXPECT_EQ(styles.bounds.top, -1);
  EXPECT_EQ(styles.bounds.width, 0);
  EXPECT_EQ(styles.bounds.height, 0);
  EXPECT_FALSE(styles.visible);
  EXPECT_EQ(styles.AdvOfficePagerOfficeStyler.tab_appearance.background_steps, 0);
  EXPECT_EQ(styles.AdvFormStyler.app_style, &styles.AdvAppStyler);
  EXPECT_EQ(styles.DrawnPictureCount(), 0) << "creation draws nothing";

  struct List {
    const ImageList& list;
    int width, height, count;
  } const lists[] = {{styles.ilSmall, 16, 16, 458}, {styles.ilLarge, 32, 32, 0},
                     {styles.ilMedium, 24, 24, 0},  {styles.ilForm, 16, 16, 7},
                     {styles.ilTools, 16, 16, 72},  {styles.ilFlags, 24, 24, 100},
                     {styles.ilStrip, 72, 24, 13},  {styles.ilRAG, 56, 56, 3}};
  for (const List& l : lists) {
    EXPECT_EQ(l.list.width(), l.width);
    EXPECT_EQ(l.list.height(), l.height);
    EXPECT_EQ(l.list.count(), l.count);
    EXPECT_EQ(l.list.Image(-1), nullptr);
    EXPECT_EQ(l.list.Image(l.count), nullptr);
  }
}

TEST(StylesTest, PicturesAreDrawnWhenFirstAskedFor) {
  const StylesUnit unit;
  const TfrmStyles& styles = *frmStyles();
  const Picture* image = styles.ilSmall.Image(457);
  ASSERT_NE(image, nullptr);
  const std::vector<uint32_t>& pixels = image->Pixels();
  EXPECT_EQ(pixels.size(), 16u * 16u);
  EXPECT_EQ(pixels[0], 0u) << "transparent corner";
  EXPECT_EQ(pixels[8 * 16 + 8] >> 24, 0xFFu) << "opaque middle";
  EXPECT_EQ(styles.DrawnPictureCount(), 1);
  EXPECT_EQ(styles.imPoppy.Pixels().size(), 100u * 64u);
  EXPECT_EQ(styles.DrawnPictureCount(), 2);
}

TEST(StylesTest, StyleColorIsThePagerColourAndCreatesTheHolder) {
  const StylesUnit unit;
  EXPECT_EQ(StyleColor(), kPageColor);
  EXPECT_EQ(RedOf(kPageColor), 218);
  EXPECT_EQ(GreenOf(kPageColor), 234);
  EXPECT_EQ(BlueOf(kPageColor), 253);
  { const StylesUnit finalised; }
  EXPECT_EQ(frmStyles(), nullptr);
  EXPECT_EQ(StyleColor(), kPageColor);
  EXPECT_NE(frmStyles(), nullptr);
}

}  // namespace
}  // namespace klv
