#include "kept_size.h"

#include <memory>

#include <glib.h>
#include <glib/gstdio.h>

#include "glib_ownership.h"
#include "window_state.h"

namespace mivra {
namespace {

constexpr const char* kWidthKey = "width";
constexpr const char* kHeightKey = "height";
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

// Writes the size under the group, keeping the file's other groups. Failures
// are dropped: a size that cannot be kept only costs the next run its size.
void KeepSize(const std::string& file, const std::string& group, Size size)
{
    g_autoptr(GKeyFile) keys = g_key_file_new();
    g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
    g_key_file_set_integer(keys, group.c_str(), kWidthKey, size.width);
    g_key_file_set_integer(keys, group.c_str(), kHeightKey, size.height);
    g_autofree char* folder = g_path_get_dirname(file.c_str());
    if (g_mkdir_with_parents(folder, 0700) != 0)
        return;
    g_key_file_save_to_file(keys, file.c_str(), nullptr);
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
