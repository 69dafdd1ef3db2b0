#include "kept_size.h"

#include <array>
#include <charconv>
#include <memory>
#include <string>

#include <glib.h>
#include <glib/gstdio.h>

#include "glib_ownership.h"
#include "window_state.h"

namespace mivra {
namespace {

constexpr const char* kWidthKey = "width";
constexpr const char* kHeightKey = "height";
constexpr const char* kZoomKeyPrefix = "zoom-";
// Larger than any screen: a value beyond this is a damaged file, not a size.
constexpr int kLargestSide = 32768;

bool Usable(int side)
{
    return side > 0 && side <= kLargestSide;
}

// The key file that keeps the sizes.
std::string KeptSizeFile()
{
    g_autofree char* file = g_build_filename(g_get_user_state_dir(), "mivra", "window.ini", nullptr);
    return file;
}

// The size kept under the group, when one was kept and is usable.
std::optional<Size> LoadKeptSize(const std::string& file, const std::string& group)
{
    g_autoptr(GKeyFile) keys = g_key_file_new();
    if (!g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, nullptr))
        return std::nullopt;
    g_autoptr(GError) widthError = nullptr;
    g_autoptr(GError) heightError = nullptr;
    const int width = g_key_file_get_integer(keys, group.c_str(), kWidthKey, &widthError);
    const int height = g_key_file_get_integer(keys, group.c_str(), kHeightKey, &heightError);
    if (widthError || heightError || !Usable(width) || !Usable(height))
        return std::nullopt;
    return Size{width, height};
}

// Changes the file's keys, keeping its other groups and its comments.
// Failures are dropped: what cannot be kept only costs the next run.
template <typename Change>
void Update(const std::string& file, Change change)
{
    g_autoptr(GKeyFile) keys = g_key_file_new();
    g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
    change(keys);
    g_autofree char* folder = g_path_get_dirname(file.c_str());
    if (g_mkdir_with_parents(folder, 0700) != 0)
        return;
    g_key_file_save_to_file(keys, file.c_str(), nullptr);
}

// Writes the size under the group.
void KeepSize(const std::string& file, const std::string& group, Size size)
{
    Update(file, [&](GKeyFile* keys) {
        g_key_file_set_integer(keys, group.c_str(), kWidthKey, size.width);
        g_key_file_set_integer(keys, group.c_str(), kHeightKey, size.height);
    });
}

// The monitor the window shows on; before it is shown, the first one, where it opens.
GdkMonitor* MonitorOf(GtkWindow* window)
{
    GdkDisplay* display = gtk_widget_get_display(GTK_WIDGET(window));
    GdkWindow* shown = gtk_widget_get_window(GTK_WIDGET(window));
    return shown ? gdk_display_get_monitor_at_window(display, shown) : gdk_display_get_monitor(display, 0);
}

// A key name of letters, digits and dashes whatever the monitor's model is called.
std::string ZoomKey(GtkWindow* window)
{
    GdkMonitor* monitor = MonitorOf(window);
    std::string display = "aucun";
    if (monitor) {
        GdkRectangle area{};
        gdk_monitor_get_geometry(monitor, &area);
        const int scale = gdk_monitor_get_scale_factor(monitor);
        const char* model = gdk_monitor_get_model(monitor);
        display = std::string(model ? model : "ecran") + "-" + std::to_string(area.width * scale) + "x" +
                  std::to_string(area.height * scale);
    }
    for (char& character : display)
        if (!g_ascii_isalnum(character))
            character = '-';
    return kZoomKeyPrefix + display;
}

struct KeptSizeState {
    std::string group;
    // Shared with the quiet-period checks, which do nothing once it is gone.
    std::shared_ptr<SizeKeeping> keeping;
    Size latest;  // the size the window last took by the user or the desktop
};

struct QuietPeriodCheck {
    std::weak_ptr<SizeKeeping> keeping;
    std::uint64_t ticket;
    std::string group;
    GtkWindow* window;  // alive while `keeping` is
};

void Write(const std::string& group, const std::optional<Size>& size)
{
    if (size)
        KeepSize(KeptSizeFile(), group, *size);
}

gboolean OnQuietPeriodEnded(gpointer data)
{
    const auto* check = static_cast<QuietPeriodCheck*>(data);
    const auto keeping = check->keeping.lock();
    // The window manager may report a maximised size before the state that explains it.
    if (keeping && !FillsTheScreen(check->window))
        Write(check->group, keeping->quietPeriodEnded(check->ticket));
    return G_SOURCE_REMOVE;
}

// Every layout passes here; only a new size of the window's own counts.
void OnSizeAllocated(GtkWidget* widget, GdkRectangle*, gpointer data)
{
    auto* state = static_cast<KeptSizeState*>(data);
    GtkWindow* window = GTK_WINDOW(widget);
    Size size{0, 0};
    gtk_window_get_size(window, &size.width, &size.height);
    if (size.width <= 0 || size.height <= 0 || size == state->latest || FillsTheScreen(window))
        return;
    state->latest = size;
    auto check = std::make_unique<QuietPeriodCheck>(
        QuietPeriodCheck{state->keeping, state->keeping->resized(size), state->group, window});
    g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(SizeKeeping::kQuietPeriod.count()), OnQuietPeriodEnded,
                       HandToGLib(std::move(check)), FreeFromGLib<QuietPeriodCheck>);
}

void OnDestroyed(GtkWindow*, gpointer data)
{
    auto* state = static_cast<KeptSizeState*>(data);
    Write(state->group, state->keeping->closing());
}

}  // namespace

std::string LoadKeptZoom(const std::string& group, GtkWindow* window)
{
    g_autoptr(GKeyFile) keys = g_key_file_new();
    if (!g_key_file_load_from_file(keys, KeptSizeFile().c_str(), G_KEY_FILE_NONE, nullptr))
        return "";
    g_autofree char* zoom = g_key_file_get_value(keys, group.c_str(), ZoomKey(window).c_str(), nullptr);
    return zoom ? zoom : "";
}

// Written in the C locale's numbers whatever the user's, as short as they go (1.1, not 1.1000000000000001).
void KeepZoom(const std::string& group, GtkWindow* window, double zoom)
{
    std::array<char, 32> text{};
    std::to_chars(text.data(), text.data() + text.size() - 1, zoom);
    Update(KeptSizeFile(),
           [&](GKeyFile* keys) { g_key_file_set_value(keys, group.c_str(), ZoomKey(window).c_str(), text.data()); });
}

void RestoreAndKeepSize(GtkWindow* window, const std::string& group, Size opening, const std::optional<Size>& workArea)
{
    const std::optional<Size> kept = LoadKeptSize(KeptSizeFile(), group);
    const Size size = FitInto(kept.value_or(opening), workArea);
    gtk_window_set_default_size(window, size.width, size.height);
    // From here on, every size the window takes is the user's or the desktop's.
    auto owned = std::make_unique<KeptSizeState>(KeptSizeState{group, std::make_shared<SizeKeeping>(kept), size});
    KeptSizeState* state = owned.get();
    g_object_set_data_full(G_OBJECT(window), "mivra-kept-size", HandToGLib(std::move(owned)),
                           FreeFromGLib<KeptSizeState>);
    g_signal_connect(window, "size-allocate", G_CALLBACK(OnSizeAllocated), state);
    g_signal_connect(window, "destroy", G_CALLBACK(OnDestroyed), state);
}

}  // namespace mivra
