#pragma once
// The window's size: how it fits the screen it opens on, and when a new size
// is kept for the next run.

#include <chrono>
#include <cstdint>
#include <optional>

namespace mivra {

struct Size {
    int width;
    int height;
    bool operator==(const Size&) const = default;
};

struct Rectangle {
    int x;
    int y;
    int width;
    int height;
};

struct Point {
    int x;
    int y;
    bool operator==(const Point&) const = default;
};

// The origin that centres a window of the given size on the screen's whole
// area; without a screen, on the origin of the screen space.
Point CentredOrigin(const std::optional<Rectangle>& screen, int width, int height);

// Each side of `wanted` no larger than the area's; without an area, `wanted`.
// Used for the minimum and the opening size, so that no part of the window
// (its buttons above all) opens off a small screen.
Size FitInto(Size wanted, const std::optional<Size>& area);

// Decides when the size is written: once it has stayed the same for a quiet
// period (a resize by the pointer passes through many sizes), and at close
// when one is still waiting, so that a window that is killed or logged out
// loses at most the last moment's change. A size equal to the one kept is
// never written again.
class SizeKeeping {
public:
    static constexpr std::chrono::milliseconds kQuietPeriod{500};

    explicit SizeKeeping(std::optional<Size> kept) : kept_(kept) {}

    // The window took this size; the caller checks the returned ticket once
    // the quiet period has passed.
    std::uint64_t resized(Size size);

    // The size to write at the end of the quiet period that began with this
    // ticket: none when the size changed again since, or is the one kept.
    std::optional<Size> quietPeriodEnded(std::uint64_t ticket);

    // The size to write as the window closes, if one is waiting.
    std::optional<Size> closing();

private:
    std::optional<Size> kept_;
    std::optional<Size> latest_;
    std::uint64_t ticket_ = 0;

    std::optional<Size> keepLatest();
};

}  // namespace mivra
