#include "platform/posix/desktop_application.h"

#include "platform/posix/file_to_open.h"

namespace velmora::posix {

DesktopApplication::DesktopApplication()
    : application_(gtk_application_new(kApplicationId, G_APPLICATION_HANDLES_OPEN)) {
  // Without a bus GLib registers the application as one of its own; another error (the name held
  // by a program that is not Velmora) leaves it unregistered, and this launch alone.
  GError* error = nullptr;
  registered_ = g_application_register(G_APPLICATION(application_), nullptr, &error) != FALSE;
  if (error != nullptr) {
    g_printerr("velmora: running on its own: %s\n", error->message);
    g_error_free(error);
  }
}

DesktopApplication::~DesktopApplication() { g_object_unref(application_); }

bool DesktopApplication::Remote() const {
  return registered_ && g_application_get_is_remote(G_APPLICATION(application_));
}

GDBusConnection* DesktopApplication::bus() const {
  return registered_ ? g_application_get_dbus_connection(G_APPLICATION(application_)) : nullptr;
}

void DesktopApplication::HandOver(const std::optional<std::string>& argument) {
  // GLib's own run sends the file (as a URI, which no option parser mistakes for an option) or
  // the activation, waits for it to leave, and unregisters.
  std::string uri;
  if (argument) {
    GFile* file = g_file_new_for_commandline_arg(argument->c_str());  // relative to this folder
    gchar* text = g_file_get_uri(file);
    uri = text;
    g_free(text);
    g_object_unref(file);
  }
  char name[] = "velmora";
  char* arguments[] = {name, uri.data(), nullptr};
  g_application_run(G_APPLICATION(application_), argument ? 2 : 1, arguments);
}

void DesktopApplication::Serve(GtkWindowSystem& window) {
  if (!registered_) return;
  gtk_window_set_application(window.window(), application_);
  g_signal_connect(application_, "activate", G_CALLBACK(+[](GApplication*, gpointer to) {
                     static_cast<GtkWindowSystem*>(to)->Present();
                   }),
                   &window);
  g_signal_connect(
      application_, "open",
      G_CALLBACK(+[](GApplication*, GFile** files, gint count, gchar*, gpointer to) {
        if (count < 1) return;
        auto& window = *static_cast<GtkWindowSystem*>(to);
        const std::string path = FileToOpen(files[0]);
        window.Deliver([path](platform::WindowEvents& events) { events.OpenFile(path); });
        window.Present();
      }),
      &window);
}

}  // namespace velmora::posix
