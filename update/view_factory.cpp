#include "update/view_factory.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "update/console_view.h"
#include "update/fltk_window.h"

namespace klv {

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

std::unique_ptr<UpdateView> CreateUpdateView() {
  if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY")) {
    if (std::unique_ptr<UpdateView> window = FltkWindow::Create()) return window;
  }
  return std::make_unique<ConsoleView>(std::cerr, isatty(STDERR_FILENO) == 1);
}

}  // namespace klv
