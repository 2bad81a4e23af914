#pragma once
// The desktop's now-playing controls (GNOME's and KDE's media area and keys, playerctl): MPRIS 2 on
// the session bus as org.mpris.MediaPlayer2.velmora. Calls reach the window as its own events;
// the window tells what it plays. Without a bus, or when the name is refused, nothing is offered.

#include <gio/gio.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/now_playing.h"
#include "platform/posix/gtk_window_system.h"

namespace velmora::posix {

class MprisPlayer final : public platform::NowPlaying {
 public:
  // `bus` may be null.
  MprisPlayer(GDBusConnection* bus, GtkWindowSystem& window);
  ~MprisPlayer() override;
  MprisPlayer(const MprisPlayer&) = delete;
  MprisPlayer& operator=(const MprisPlayer&) = delete;

  void Changed(const platform::PieceState& state) override;
  // The piece has played to its end: the window still shows it, the speaker is silent. Called on
  // the engine's thread; taken up on the GTK thread, unless the window has changed since.
  void PieceEnded();

 private:
  static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar* interface,
                     const gchar* method, GVariant* parameters, GDBusMethodInvocation* invocation,
                     gpointer self);
  static GVariant* OnGet(GDBusConnection*, const gchar*, const gchar*, const gchar* interface,
                         const gchar* property, GError**, gpointer self);
  void Call(std::string_view method, GVariant* parameters);
  GVariant* Property(std::string_view property) const;
  void Ended(unsigned changes);
  void TimePiece();
  bool Playing() const { return playing_ && !ended_; }
  GVariant* Metadata() const;
  void Announce(const std::vector<const char*>& properties);

  GDBusConnection* bus_;
  GtkWindowSystem& window_;
  guint name_ = 0;
  guint objects_[2] = {};
  std::string file_, title_;
  bool playing_ = false, ended_ = false;
  std::int64_t playingSince_ = 0;       // monotonic microseconds
  unsigned track_ = 0;                  // counts the files chosen, for the track's id
  std::atomic<unsigned> changes_{0};    // counts the window's changes, read by the engine's thread
  std::optional<std::int64_t> length_;  // the piece's, in microseconds, once read
  GCancellable* timing_ = nullptr;      // the reading of the piece's length under way
};

}  // namespace velmora::posix
