// The style unit: the hidden style holder TfrmStyles that gives the product's forms one look.
// It holds the stylers' settings, the image lists and the pictures that all windows share.
// The program creates it at every start; its pictures and image lists are drawn only when
// first asked for, so creating it costs next to nothing. The walks that apply it to a form's
// widgets (TStyledForm, ApplyStyles, RemoveStyles, ApplyDoubleBuffering) are in
// update/styled_form.h, beside the window toolkit.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace klv {

// A colour as the product stores it: red in the lowest byte, then green, then blue.
using TColor = uint32_t;
inline constexpr TColor kClBtnFace = 0xFF00000F;  // the system's button-face colour
inline constexpr uint8_t RedOf(TColor c) {
  return c & 0xFF;
}
inline constexpr uint8_t GreenOf(TColor c) {
  return (c >> 8) & 0xFF;
}
inline constexpr uint8_t BlueOf(TColor c) {
  return (c >> 16) & 0xFF;
}

// The TMS styles that the stylers name.
enum class TmsStyle { kOffice2003Blue, kCustom };

struct FontSettings {
  const char* name;
  int height;  // negative: pixel height of the characters, as the product's forms store it
  bool bold = false;
  bool italic = false;
  TColor color = 0;
};

// A picture of the holder, drawn when first asked for. Pixels are 0xAARRGGBB, row by row.
class Picture {
 public:
  Picture(int width, int height, uint32_t seed) : width_(width), height_(height), seed_(seed) {}
  int width() const { return width_; }
  int height() const { return height_; }
  const std::vector<uint32_t>& Pixels() const;
  bool drawn() const;

 private:
  int width_;
  int height_;
  uint32_t seed_;
  mutable std::once_flag drawn_once_;
  mutable std::vector<uint32_t> pixels_;
};

// An image list: `count` images of width x height, each drawn when first asked for.
class ImageList {
 public:
  ImageList(int width, int height, int count, uint32_t seed);
  int width() const { return width_; }
  int height() const { return height_; }
  int count() const { return count_; }
  // The image at `index` (made when first asked for); nullptr outside 0..count-1. Not for
  // use from several threads at once.
  const Picture* Image(int index) const;
  // How many images have been drawn so far.
  int DrawnCount() const;

 private:
  int width_;
  int height_;
  int count_;
  uint32_t seed_;
  mutable std::vector<std::unique_ptr<Picture>> images_;
};

class TfrmStyles {
 public:
  // Creation and FormCreate: placed at -1, -1 with size 0 x 0; the pager styler's tab
  // background gets 0 gradient steps. Nothing is drawn yet.
  TfrmStyles();
  TfrmStyles(const TfrmStyles&) = delete;
  TfrmStyles& operator=(const TfrmStyles&) = delete;

  struct Bounds {
    int left, top, width, height;
  };
  Bounds bounds{0, 0, 683, 619};  // design client size, before FormCreate
  TColor color = kClBtnFace;
  FontSettings font{"Tahoma", -11};
  bool visible = false;  // never shown

  struct AppStyler {
    TmsStyle style = TmsStyle::kOffice2003Blue;
  } AdvAppStyler;
  struct FormStyler {
    TmsStyle style = TmsStyle::kOffice2003Blue;
    const AppStyler* app_style = nullptr;
  } AdvFormStyler;
  struct ToolBarStyler {
    TmsStyle style = TmsStyle::kCustom;
    TColor color = 16640730;
    TColor color_to = 16440004;
    TColor border_color = 14922381;
  } AdvToolBarOfficeStyler;
  struct MenuStyler {
    bool anti_alias = false;
    FontSettings menu_font{"Tahoma", -11};
    FontSettings root_item_font{"Segoe UI", -12};
    FontSettings side_bar_font{"Tahoma", -19, true, true, 0xFFFFFF};
    TColor background = 16640730;
    TColor selection = 14922381;
  } AdvMenuStyler;
  struct PagerStyler {
    struct {
      TColor color = 16640730;
      TColor color_to = 16440004;
      TColor border_color = 14922381;
      bool vertical_gradient = true;
    } page_appearance;
    struct {
      int background_steps = 64;
    } tab_appearance;
  } AdvOfficePagerOfficeStyler;

  // Pictures.
  Picture imDecember{96, 96, 1}, imLogo{96, 96, 2}, imBadge{100, 88, 3}, imR{48, 48, 4},
      imA{48, 48, 5}, imG{48, 48, 6}, imPrint{128, 128, 7}, imEaster{96, 128, 8},
      imHalloween{96, 96, 9}, imPoppy{100, 64, 10}, imLogoHot{96, 96, 11}, imValentine{96, 96, 12};
  // Image lists.
  ImageList ilSmall{16, 16, 458, 20}, ilLarge{32, 32, 0, 21}, ilMedium{24, 24, 0, 22},
      ilForm{16, 16, 7, 23}, ilTools{16, 16, 72, 24}, ilFlags{24, 24, 100, 25},
      ilStrip{72, 24, 13, 26}, ilRAG{56, 56, 3, 27};

  // How many pictures and images have been drawn so far (none at creation).
  int DrawnPictureCount() const;
};

// The one holder, nullptr before it is created.
TfrmStyles* frmStyles();
// The holder, created first when missing.
TfrmStyles& EnsureStyles();
// `frmStyles.AdvOfficePagerOfficeStyler.PageAppearance.Color`, creating the holder first when
// it is missing.
TColor StyleColor();

// The unit's initialisation and finalisation: creates the holder unless it exists, and frees it
// when the program ends.
class StylesUnit {
 public:
  StylesUnit();
  ~StylesUnit();
  StylesUnit(const StylesUnit&) = delete;
  StylesUnit& operator=(const StylesUnit&) = delete;
};

}  // namespace klv
