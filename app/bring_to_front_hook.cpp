#include "app/bring_to_front_hook.h"

#include <FL/Fl.H>

namespace klv {

BringToFrontHook::BringToFrontHook(platform::BringToFrontListener& listener, UpdateView& view)
    : listener_(listener), view_(view) {
  // Without a display nobody runs FLTK's pump, and the requests simply wait unread.
  if (listener_.fd() >= 0) Fl::add_fd(listener_.fd(), FL_READ, &BringToFrontHook::OnReadable, this);
}

BringToFrontHook::~BringToFrontHook() {
  if (listener_.fd() >= 0) Fl::remove_fd(listener_.fd(), FL_READ);
}

void BringToFrontHook::OnReadable(int, void* hook) {
  auto& self = *static_cast<BringToFrontHook*>(hook);
  if (self.listener_.TakeRequests() > 0) self.view_.BringToFront();
}

}  // namespace klv
