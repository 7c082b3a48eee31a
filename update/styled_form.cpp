#include "update/styled_form.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input_.H>
#include <FL/Fl_Menu_Bar.H>
#include <FL/Fl_Menu_Button.H>
#include <FL/Fl_Pack.H>

#include <cstdlib>
#include <unordered_map>

namespace klv {

namespace {

// A toolbar separator's size.
constexpr int kSeparatorHeight = 26;
constexpr int kSeparatorWidth = 10;
constexpr int kKeepPositionTag = -1;

struct WidgetSettings {
  bool show_hint = false;
  bool double_buffered = false;
  bool full_repaint = true;
};

std::unordered_map<const Fl_Widget*, WidgetSettings>& Settings() {
  static std::unordered_map<const Fl_Widget*, WidgetSettings> settings;
  return settings;
}

void Forget(Fl_Widget& widget) {
  Settings().erase(&widget);
  if (Fl_Group* group = widget.as_group()) {
    for (int i = 0; i < group->children(); ++i) Forget(*group->child(i));
  }
}

Fl_Color ToFl(TColor color) {
  if (color == kClBtnFace) return FL_BACKGROUND_COLOR;
  return fl_rgb_color(RedOf(color), GreenOf(color), BlueOf(color));
}

bool IsToolbarSeparator(Fl_Widget& widget) {
  return dynamic_cast<Fl_Box*>(&widget) != nullptr && widget.label() == nullptr &&
         dynamic_cast<Fl_Pack*>(widget.parent()) != nullptr;
}

// The first rule of the first list that matches `owned`.
void ApplyFirstRule(Fl_Widget& owned, const TfrmStyles& styles) {
  const TfrmStyles::MenuStyler& menu = styles.AdvMenuStyler;
  if (auto* pack = dynamic_cast<Fl_Pack*>(&owned)) {
    pack->color(ToFl(styles.AdvToolBarOfficeStyler.color));
  } else if (auto* bar = dynamic_cast<Fl_Menu_Bar*>(&owned)) {
    bar->textsize(std::abs(menu.root_item_font.height));
    bar->color(ToFl(menu.background));
    bar->selection_color(ToFl(menu.selection));
  } else if (auto* popup = dynamic_cast<Fl_Menu_Button*>(&owned)) {
    popup->textsize(std::abs(menu.menu_font.height));
    popup->color(ToFl(menu.background));
    popup->selection_color(ToFl(menu.selection));
  } else if (dynamic_cast<Fl_Button*>(&owned) != nullptr) {
    // Glow buttons: the product gives a button the small image list only when it has no
    // pictures, a test that its toolkit's buttons never pass; buttons are left as they are.
  } else if (IsToolbarSeparator(owned)) {
    owned.size(kSeparatorWidth, kSeparatorHeight);
  } else if (auto* client = dynamic_cast<StyleClient*>(&owned)) {
    client->SetComponentStyle(styles.AdvFormStyler.style);
  }
}

}  // namespace

void ApplyStyles(Fl_Widget& component) {
  const TfrmStyles& styles = EnsureStyles();
  if (component.as_window() != nullptr) Settings()[&component].show_hint = true;
  ApplyDoubleBuffering(component);
  Fl_Group* group = component.as_group();
  if (group == nullptr) return;
  for (int i = 0; i < group->children(); ++i) {
    Fl_Widget& owned = *group->child(i);
    Settings()[&component].show_hint = true;
    ApplyFirstRule(owned, styles);
    // Second list: popup menus would take the small image list, which FLTK menus cannot
    // hold; widgets that hold others are styled in turn.
    if (owned.as_group() != nullptr) ApplyStyles(owned);
  }
}

void RemoveStyles(Fl_Widget& component) {
  Fl_Group* group = component.as_group();
  if (group == nullptr) return;
  for (int i = 0; i < group->children(); ++i) {
    Fl_Widget& owned = *group->child(i);
    if (auto* pack = dynamic_cast<Fl_Pack*>(&owned)) {
      pack->color(FL_BACKGROUND_COLOR);
    } else if (auto* bar = dynamic_cast<Fl_Menu_Bar*>(&owned)) {
      bar->textsize(FL_NORMAL_SIZE);
      bar->color(FL_BACKGROUND_COLOR);
      bar->selection_color(FL_SELECTION_COLOR);
    }
    if (owned.as_group() != nullptr) RemoveStyles(owned);
  }
}

void ApplyDoubleBuffering(Fl_Widget& component) {
  if (dynamic_cast<Fl_Input_*>(&component) != nullptr) {
    Settings()[&component].double_buffered = true;
  }
  Fl_Group* group = component.as_group();
  if (group != nullptr && component.as_window() == nullptr) {
    Settings()[&component].full_repaint = false;
  }
  if (group == nullptr) return;
  for (int i = group->children() - 1; i >= 0; --i) ApplyDoubleBuffering(*group->child(i));
}

bool ShowsHints(const Fl_Widget& widget) {
  const auto found = Settings().find(&widget);
  return found != Settings().end() && found->second.show_hint;
}

bool DoubleBuffered(const Fl_Widget& widget) {
  const auto found = Settings().find(&widget);
  return found != Settings().end() && found->second.double_buffered;
}

bool FullRepaint(const Fl_Widget& widget) {
  const auto found = Settings().find(&widget);
  return found == Settings().end() || found->second.full_repaint;
}

TStyledForm::TStyledForm(const FormResource& resource)
    : window_(std::make_unique<Fl_Double_Window>(resource.width, resource.height)),
      tag_(resource.tag),
      color_(resource.color) {
  // The inherited constructor: the form's resource is loaded.
  window_->copy_label(resource.caption.c_str());
  window_->color(ToFl(resource.color));
  if (resource.add_controls) resource.add_controls(*window_);
  window_->end();

  ApplyStyles(*window_);
  scaled_ = false;
  if (tag_ != kKeepPositionTag) position_ = Position::kMainFormCenter;
  Settings()[window_.get()].show_hint = true;
  if (frmStyles() != nullptr && !resource.transparent_color) {
    color_ = StyleColor();
    window_->color(ToFl(color_));
  }
}

TStyledForm::~TStyledForm() {
  RemoveStyles(*window_);
  Forget(*window_);
}

void TStyledForm::Show(const Fl_Widget* main_form) {
  if (position_ == Position::kMainFormCenter && main_form != nullptr) {
    const Fl_Window* top = main_form->window();
    const int left = (top != nullptr ? top->x() : 0) + main_form->x();
    const int upper = (top != nullptr ? top->y() : 0) + main_form->y();
    window_->position(left + (main_form->w() - window_->w()) / 2,
                      upper + (main_form->h() - window_->h()) / 2);
  }
  window_->show();
}

}  // namespace klv
