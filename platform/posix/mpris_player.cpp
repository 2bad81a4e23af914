#include "platform/posix/mpris_player.h"

#include <glib/gstdio.h>

#include <memory>
#include <vector>

#include "platform/posix/file_to_open.h"
#include "sound_engine/midi_piece.h"

namespace velmora::posix {

namespace {

using platform::MediaKey;

constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
// The piece's length is read beside the engine's own reading: only of files small enough that
// holding them twice costs nothing (MIDI files are rarely larger than 100 KB).
constexpr goffset kLargestTimedFile = 4 << 20;

// What MPRIS 2 asks of a player; Velmora plays one file, without pause, seeking or a track list.
constexpr char kInterfaces[] = R"(<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition">
      <arg direction="in" name="TrackId" type="o"/><arg direction="in" name="Position" type="x"/>
    </method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Rate" type="d" access="read"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="read"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>)";

GVariant* Strings(std::initializer_list<const char*> strings) {
  GVariantBuilder list;
  g_variant_builder_init(&list, G_VARIANT_TYPE_STRING_ARRAY);
  for (const char* s : strings) g_variant_builder_add(&list, "s", s);
  return g_variant_builder_end(&list);
}

}  // namespace

MprisPlayer::MprisPlayer(GDBusConnection* bus, GtkWindowSystem& window)
    : bus_(bus), window_(window) {
  if (bus_ == nullptr) return;
  static const GDBusInterfaceVTable vtable{OnCall, OnGet, nullptr, {}};
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterfaces, nullptr);
  for (int i = 0; i < 2; ++i)
    objects_[i] = g_dbus_connection_register_object(bus_, kObjectPath, node->interfaces[i], &vtable,
                                                    this, nullptr, nullptr);
  g_dbus_node_info_unref(node);
  // Refused or lost, the name only leaves the controls without Velmora.
  name_ = g_bus_own_name_on_connection(bus_, "org.mpris.MediaPlayer2.velmora",
                                       G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, nullptr, nullptr,
                                       nullptr, nullptr);
}

MprisPlayer::~MprisPlayer() {
  if (timing_ != nullptr) g_cancellable_cancel(timing_), g_object_unref(timing_);
  if (bus_ == nullptr) return;
  g_bus_unown_name(name_);
  for (const guint object : objects_) g_dbus_connection_unregister_object(bus_, object);
}

void MprisPlayer::OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* method, GVariant* parameters,
                         GDBusMethodInvocation* invocation, gpointer self) {
  // Answered at once; the window acts from its event loop.
  static_cast<MprisPlayer*>(self)->Call(method, parameters);
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

void MprisPlayer::Call(std::string_view method, GVariant* parameters) {
  const auto media = [this](MediaKey key) {
    window_.Deliver([key](platform::WindowEvents& events) { events.Media(key); });
  };
  if (method == "Raise") {
    window_.Present();
  } else if (method == "Quit") {
    window_.Deliver([this](platform::WindowEvents&) { window_.Close(); });
  } else if (method == "OpenUri") {
    const gchar* uri = nullptr;
    g_variant_get(parameters, "(&s)", &uri);
    const std::string path = FileToOpenFromUri(uri);
    window_.Deliver([path](platform::WindowEvents& events) { events.OpenFile(path); });
  } else if (method == "Stop" || (method == "PlayPause" && Playing())) {
    media(MediaKey::Stop);
  } else if (method == "Play" || method == "PlayPause") {
    // A piece that has ended is still the window's playing one: stopped first, then played again.
    if (ended_ && playing_) media(MediaKey::Stop);
    media(MediaKey::Play);
  }  // Pause, Next, Previous, Seek and SetPosition: nothing Velmora can do
}

GVariant* MprisPlayer::OnGet(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                             const gchar* property, GError**, gpointer self) {
  return static_cast<MprisPlayer*>(self)->Property(property);
}

GVariant* MprisPlayer::Property(std::string_view property) const {
  if (property == "Identity") return g_variant_new_string("Velmora");
  if (property == "DesktopEntry") return g_variant_new_string(kApplicationId);
  if (property == "SupportedUriSchemes") return Strings({"file"});
  if (property == "SupportedMimeTypes")
    return Strings({"audio/midi", "audio/x-midi", "audio/sp-midi"});
  if (property == "PlaybackStatus") return g_variant_new_string(Playing() ? "Playing" : "Stopped");
  if (property == "Metadata") return Metadata();
  if (property == "Position")
    return g_variant_new_int64(Playing() ? g_get_monotonic_time() - playingSince_ : 0);
  if (property == "Rate" || property == "Volume" || property == "MinimumRate" ||
      property == "MaximumRate")
    return g_variant_new_double(1.0);
  if (property == "CanPlay") return g_variant_new_boolean(!file_.empty());
  const bool yes = property == "CanQuit" || property == "CanRaise" || property == "CanControl";
  return g_variant_new_boolean(yes);  // HasTrackList, CanGoNext, CanGoPrevious, CanPause, CanSeek
}

GVariant* MprisPlayer::Metadata() const {
  GVariantBuilder map;
  g_variant_builder_init(&map, G_VARIANT_TYPE_VARDICT);
  if (!file_.empty()) {
    const std::string id = "/org/velmora/Velmora/Track/" + std::to_string(track_);
    g_variant_builder_add(&map, "{sv}", "mpris:trackid", g_variant_new_object_path(id.c_str()));
    gchar* title = g_filename_display_name(title_.c_str());
    g_variant_builder_add(&map, "{sv}", "xesam:title", g_variant_new_take_string(title));
    gchar* uri = g_path_is_absolute(file_.c_str())
                     ? g_filename_to_uri(file_.c_str(), nullptr, nullptr)
                     : g_strdup(file_.c_str());
    if (uri != nullptr && g_utf8_validate(uri, -1, nullptr))
      g_variant_builder_add(&map, "{sv}", "xesam:url", g_variant_new_string(uri));
    g_free(uri);
    if (length_) g_variant_builder_add(&map, "{sv}", "mpris:length", g_variant_new_int64(*length_));
  }
  return g_variant_builder_end(&map);
}

void MprisPlayer::Changed(const platform::PieceState& state) {
  ++changes_;
  const bool wasPlaying = Playing(), couldPlay = !file_.empty();
  const bool newFile = state.file != file_ || state.title != title_;
  if (newFile) {
    file_ = state.file, title_ = state.title;
    ++track_;
    TimePiece();
  }
  if (state.playing && !playing_) playingSince_ = g_get_monotonic_time();
  if (state.playing != playing_) ended_ = false;
  playing_ = state.playing;
  std::vector<const char*> changed;
  if (newFile) changed.push_back("Metadata");
  if (couldPlay != !file_.empty()) changed.push_back("CanPlay");
  if (wasPlaying != Playing()) changed.push_back("PlaybackStatus");
  Announce(changed);
}

void MprisPlayer::TimePiece() {
  length_.reset();
  if (timing_ != nullptr) g_cancellable_cancel(timing_), g_object_unref(timing_);
  timing_ = g_cancellable_new();
  if (bus_ == nullptr || file_.empty()) return;
  const auto timed = +[](GObject*, GAsyncResult* result, gpointer self) {
    GError* error = nullptr;  // cancelled: the file has changed, or the player is gone
    const gssize ms = g_task_propagate_int(G_TASK(result), &error);
    if (error != nullptr) return g_error_free(error);
    auto& player = *static_cast<MprisPlayer*>(self);
    player.length_ = std::int64_t{ms} * 1000;
    player.Announce({"Metadata"});
  };
  GTask* task = g_task_new(nullptr, timing_, timed, this);
  g_task_set_task_data(task, g_strdup(file_.c_str()), g_free);
  g_task_run_in_thread(
      task, +[](GTask* task, gpointer, gpointer path, GCancellable*) {
        GStatBuf file{};
        gchar* bytes = nullptr;
        gsize size = 0;
        std::optional<std::uint64_t> ms;
        if (g_stat(static_cast<gchar*>(path), &file) == 0 && S_ISREG(file.st_mode) &&
            file.st_size <= kLargestTimedFile &&
            g_file_get_contents(static_cast<gchar*>(path), &bytes, &size, nullptr)) {
          platform::MciError error = 0;
          const auto piece =
              MidiPiece::FromFile({reinterpret_cast<std::uint8_t*>(bytes), size}, error);
          if (piece) ms = piece->endMs();
        }
        g_free(bytes);
        if (ms) return g_task_return_int(task, static_cast<gssize>(*ms));
        g_task_return_new_error(task, G_IO_ERROR, G_IO_ERROR_FAILED, "no length");
      });
  g_object_unref(task);
}

void MprisPlayer::PieceEnded() {
  struct Notice {
    MprisPlayer* player;
    unsigned changes;
  };
  g_idle_add(
      +[](gpointer notice) -> gboolean {
        const std::unique_ptr<Notice> ended(static_cast<Notice*>(notice));
        ended->player->Ended(ended->changes);
        return G_SOURCE_REMOVE;
      },
      new Notice{this, changes_.load()});
}

void MprisPlayer::Ended(unsigned changes) {
  if (changes != changes_ || !Playing()) return;
  ended_ = true;
  Announce({"PlaybackStatus"});
}

void MprisPlayer::Announce(const std::vector<const char*>& properties) {
  if (bus_ == nullptr || properties.empty()) return;
  GVariantBuilder changed;
  g_variant_builder_init(&changed, G_VARIANT_TYPE_VARDICT);
  for (const char* property : properties)
    g_variant_builder_add(&changed, "{sv}", property, Property(property));
  g_dbus_connection_emit_signal(
      bus_, nullptr, kObjectPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
      g_variant_new("(sa{sv}as)", kPlayerInterface, &changed, nullptr), nullptr);
}

}  // namespace velmora::posix
