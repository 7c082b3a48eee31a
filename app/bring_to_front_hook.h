// Connects the bring-to-front requests of refused copies to the update window's message pump.
#pragma once

#include "platform/bring_to_front.h"
#include "update/update_view.h"

namespace klv {

class BringToFrontHook {
 public:
  // While the hook lives, each time the window processes messages, pending requests on
  // `listener` bring `view` to the front (restored if minimised). Both must outlive the hook.
  BringToFrontHook(platform::BringToFrontListener& listener, UpdateView& view);
  ~BringToFrontHook();
  BringToFrontHook(const BringToFrontHook&) = delete;
  BringToFrontHook& operator=(const BringToFrontHook&) = delete;

 private:
  static void OnReadable(int fd, void* hook);
  platform::BringToFrontListener& listener_;
  UpdateView& view_;
};

}  // namespace klv
