#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

// A connection of the benchmark's own to an X server: it sends real key events through XTEST,
// and sees when a newly created top-level window first shows a drawn frame.
class XDisplay
{
public:
    using Clock = std::chrono::steady_clock;

    // Connects to the display (":N"); usable() tells whether that and XTEST and DAMAGE worked.
    explicit XDisplay(const std::string &name);
    ~XDisplay();
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    bool usable() const { return m_usable; }

    // Forgets earlier windows and starts watching for new ones; call before starting a program.
    void watchForNewWindow();
    // Waits for the first frame drawn into a top-level window created since watchForNewWindow():
    // the first time, after the server reports drawing into the window, that the window's
    // pixels are not all of one colour. Gives when that was seen, or nothing on timeout.
    std::optional<Clock::time_point> waitForFirstFrame(std::chrono::milliseconds timeout);

    // When a new top-level window was mapped, first drawn, and last drawn before it stayed
    // unchanged for the quiet time (its content settled; shorter than a text cursor's blink).
    struct Startup
    {
        std::optional<Clock::time_point> mapped;
        std::optional<Clock::time_point> firstFrame;
        std::optional<Clock::time_point> settled;
    };
    // Watches a window created since watchForNewWindow() until its content settles or the
    // timeout passes; onMapped runs as soon as the server reports the window mapped.
    Startup watchStartup(std::chrono::milliseconds timeout, std::chrono::milliseconds quiet,
                         const std::function<void()> &onMapped = {});

    // Sends a press or release of the key with the given keysym to the focused window and
    // flushes it to the server; gives when the server had it.
    Clock::time_point sendKey(unsigned long keysym, bool press);

private:
    bool showsDrawing(unsigned long window);

    struct Private;
    Private *m_private = nullptr;
    bool m_usable = false;
};
