// The style unit's walks over FLTK widgets, and TStyledForm, the base of styled forms. The
// product's rules name their own control kinds; here they apply to FLTK's nearest kinds:
//   main menu -> Fl_Menu_Bar, popup menu -> Fl_Menu_Button, glow button -> Fl_Button,
//   toolbar (pager, dock panel) -> Fl_Pack, toolbar separator -> an unlabelled Fl_Box inside a
//   toolbar, edit field -> Fl_Input_, panel -> any Fl_Group that is not a window, windowed
//   control that owns others -> Fl_Group (FLTK's parent owns its children).
// Action lists and form stylers have no FLTK counterpart; widgets that take a style through
// the TMS style interface derive from StyleClient. FLTK has no per-widget hint, double
// buffering or full-repaint switches: the walks keep those settings beside the widget
// (ShowsHints, DoubleBuffered, FullRepaint), and a TStyledForm is painted off-screen as a whole.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/styles.h"

class Fl_Widget;
class Fl_Double_Window;

namespace klv {

// The TMS style interface: a widget that implements it takes the form styler's style, unless
// one of the kinds of the first rule list matches it first.
class StyleClient {
 public:
  virtual ~StyleClient() = default;
  virtual void SetComponentStyle(TmsStyle style) = 0;
};

// Applies the shared style to `component` and every widget it holds; creates the style
// holder first when it is missing.
void ApplyStyles(Fl_Widget& component);
// Detaches the stylers again: menus and toolbars get FLTK's own look back.
void RemoveStyles(Fl_Widget& component);
// The painting settings: edit fields are double-buffered, panels lose their full repaint;
// then the same for every widget held, from the last to the first.
void ApplyDoubleBuffering(Fl_Widget& component);

// The settings the walks keep beside each widget (false, false and true until set).
bool ShowsHints(const Fl_Widget& widget);
bool DoubleBuffered(const Fl_Widget& widget);
bool FullRepaint(const Fl_Widget& widget);

// What a form's resource gives before the styles are applied.
struct FormResource {
  int width = 0;
  int height = 0;
  std::string caption;
  int tag = 0;                     // -1 keeps the designed position
  bool transparent_color = false;  // keeps the form's own colour
  TColor color = kClBtnFace;
  // Adds the form's controls to the window, which is open for new widgets.
  std::function<void(Fl_Double_Window&)> add_controls;
};

class TStyledForm {
 public:
  enum class Position { kDesigned, kMainFormCenter };

  // Create: loads `resource`, ApplyStyles on the form, scaling off, centred on the main form
  // unless the resource's tag is -1, hints on, and the style colour unless the form keeps its
  // own transparent colour.
  explicit TStyledForm(const FormResource& resource);
  // Destroy: RemoveStyles on the form, then the window goes.
  virtual ~TStyledForm();
  TStyledForm(const TStyledForm&) = delete;
  TStyledForm& operator=(const TStyledForm&) = delete;

  Fl_Double_Window& window() { return *window_; }
  int tag() const { return tag_; }
  bool scaled() const { return scaled_; }
  Position position() const { return position_; }
  // The form's colour (the style colour unless the form keeps its own).
  TColor color() const { return color_; }
  // Shows the form: centred on `main_form` when its position says so and one is given.
  void Show(const Fl_Widget* main_form);

 private:
  std::unique_ptr<Fl_Double_Window> window_;
  int tag_;
  bool scaled_ = true;
  Position position_ = Position::kDesigned;
  TColor color_;
};

}  // namespace klv
