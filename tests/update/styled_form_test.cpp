// The walks of the style unit over FLTK widgets and TStyledForm (no display needed: the
// widgets are made but never shown).
#include "update/styled_form.h"

#include <gtest/gtest.h>

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Pack.H>

#include <vector>

namespace klv {
namespace {

constexpr TColor kPageColor = 16640730;  // $FDEADA

// Widgets that take a style through the style interface.
class StyledBox : public Fl_Box, public StyleClient {
 public:
  StyledBox(int x, int y, int w, int h) : Fl_Box(x, y, w, h, "styled") {}
  void SetComponentStyle(TmsStyle style) override { styles.push_back(style); }
  std::vector<TmsStyle> styles;
};
class StyledButton : public Fl_Button, public StyleClient {
 public:
  StyledButton(int x, int y, int w, int h) : Fl_Button(x, y, w, h, "OK") {}
  void SetComponentStyle(TmsStyle style) override { styles.push_back(style); }
  std::vector<TmsStyle> styles;
};

TEST(StyledFormTest, TagAndTransparentColourDecidePositionAndColour) {
  const StylesUnit unit;
  struct Case {
    int tag;
    bool transparent_color;
    TStyledForm::Position position;
    TColor color;
  } const cases[] = {
      {0, false, TStyledForm::Position::kMainFormCenter, kPageColor},
      {5, false, TStyledForm::Position::kMainFormCenter, kPageColor},
      {-1, false, TStyledForm::Position::kDesigned, kPageColor},
      {0, true, TStyledForm::Position::kMainFormCenter, 0x123456},
  };
  for (const Case& c : cases) {
    FormResource resource;
    resource.width = 200;
    resource.height = 100;
    resource.tag = c.tag;
    resource.transparent_color = c.transparent_color;
    resource.color = 0x123456;
    const TStyledForm form(resource);
    EXPECT_EQ(form.position(), c.position) << c.tag;
    EXPECT_EQ(form.color(), c.color) << c.tag;
    EXPECT_FALSE(form.scaled());
  }
}

// A form of every kind of widget the walk knows.
struct Controls {
  Fl_Menu_Bar* menu = nullptr;
  Fl_Menu_Button* popup = nullptr;
  StyledButton* button = nullptr;
  StyledBox* styled = nullptr;
  Fl_Pack* toolbar = nullptr;
  Fl_Box* separator = nullptr;
  Fl_Group* panel = nullptr;
  Fl_Input* edit = nullptr;
  StyledBox* styled_in_panel = nullptr;
  Fl_Group* empty_panel = nullptr;
};

FormResource EveryKind(Controls& c) {
  FormResource resource;
  resource.width = 400;
  resource.height = 300;
  resource.add_controls = [&c](Fl_Double_Window&) {
    c.menu = new Fl_Menu_Bar(0, 0, 400, 20);
    c.popup = new Fl_Menu_Button(0, 20, 80, 20, "More");
    c.button = new StyledButton(0, 40, 80, 20);
    c.styled = new StyledBox(0, 60, 80, 20);
    c.toolbar = new Fl_Pack(0, 80, 400, 30);
    c.toolbar->type(Fl_Pack::HORIZONTAL);
    new Fl_Button(0, 0, 30, 30, "B");
    c.separator = new Fl_Box(0, 0, 3, 3);
    c.toolbar->end();
    c.panel = new Fl_Group(0, 120, 400, 100);
    c.edit = new Fl_Input(10, 130, 100, 20);
    c.styled_in_panel = new StyledBox(10, 160, 80, 20);
    c.panel->end();
    c.empty_panel = new Fl_Group(0, 230, 400, 50);
    c.empty_panel->end();
  };
  return resource;
}

TEST(StyledFormTest, ApplyStylesFollowsTheRulesOfEachKind) {
  const StylesUnit unit;
  Controls c;
  TStyledForm form(EveryKind(c));
  const TfrmStyles& styles = *frmStyles();

  EXPECT_EQ(c.menu->textsize(), 12) << "root items of the menu styler";
  EXPECT_EQ(c.popup->textsize(), 11) << "menu font of the menu styler";
  EXPECT_NE(c.toolbar->color(), FL_BACKGROUND_COLOR);
  EXPECT_EQ(c.separator->w(), 10);
  EXPECT_EQ(c.separator->h(), 26);
  EXPECT_TRUE(c.button->styles.empty()) << "the button rule comes before the style interface";
  EXPECT_EQ(c.styled->styles, std::vector<TmsStyle>{styles.AdvFormStyler.style});
  EXPECT_EQ(c.styled_in_panel->styles, std::vector<TmsStyle>{styles.AdvFormStyler.style})
      << "widgets that hold others are styled in turn";

  EXPECT_TRUE(ShowsHints(form.window()));
  EXPECT_TRUE(ShowsHints(*c.panel)) << "it holds widgets";
  EXPECT_FALSE(ShowsHints(*c.empty_panel)) << "it holds nothing";
  EXPECT_FALSE(ShowsHints(*c.edit));

  EXPECT_TRUE(DoubleBuffered(*c.edit));
  EXPECT_FALSE(DoubleBuffered(*c.styled));
  EXPECT_FALSE(FullRepaint(*c.panel));
  EXPECT_FALSE(FullRepaint(*c.empty_panel));
  EXPECT_TRUE(FullRepaint(form.window())) << "a window is no panel";
}

TEST(StyledFormTest, RemoveStylesGivesMenusAndToolbarsTheirOwnLookBack) {
  const StylesUnit unit;
  Controls c;
  TStyledForm form(EveryKind(c));
  RemoveStyles(form.window());
  EXPECT_EQ(c.menu->textsize(), FL_NORMAL_SIZE);
  EXPECT_EQ(c.menu->color(), FL_BACKGROUND_COLOR);
  EXPECT_EQ(c.toolbar->color(), FL_BACKGROUND_COLOR);
  EXPECT_EQ(c.popup->textsize(), 11) << "popup menus keep theirs";
}

}  // namespace
}  // namespace klv
