#pragma once
// One Velmora per desktop session: the application id on the session bus (GtkApplication). A
// second launch hands its file to the running Velmora, or asks it to show its window, and ends.
// Without a session bus, or when the id cannot be registered, each launch runs on its own.

#include <gtk/gtk.h>

#include <optional>
#include <string>

#include "platform/posix/gtk_window_system.h"

namespace velmora::posix {

class DesktopApplication {
 public:
  // Registers on the session bus; GTK must have been started.
  DesktopApplication();
  ~DesktopApplication();
  DesktopApplication(const DesktopApplication&) = delete;
  DesktopApplication& operator=(const DesktopApplication&) = delete;

  // Another Velmora of this session runs already.
  bool Remote() const;
  // To the running one: the file (as typed on the command line, in this process's folder) to
  // open, or without one, a request to show its window. Returns once it has been sent.
  void HandOver(const std::optional<std::string>& argument);
  // The running one: files handed over are opened in `window`, a launch without one presents it.
  void Serve(GtkWindowSystem& window);
  // The session bus, when registered on it.
  GDBusConnection* bus() const;

 private:
  GtkApplication* application_ = nullptr;
  bool registered_ = false;
};

}  // namespace velmora::posix
