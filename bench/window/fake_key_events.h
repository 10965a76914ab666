#pragma once

// Real key events through the X server's XTEST extension, sent on the application's own X11
// connection, so that they come back the way a keyboard's would.
class FakeKeyEvents
{
public:
    // Looks up the X11 connection and the key; usable() tells whether both are there.
    explicit FakeKeyEvents(unsigned long keysym);

    bool usable() const { return m_display != nullptr && m_keycode != 0; }
    // Sends a press or a release of the key and flushes it to the server.
    void send(bool press) const;
    // Turns the server's detectable auto-repeat on or off for this connection.
    void setDetectableAutoRepeat(bool on) const;

private:
    void *m_display = nullptr;
    unsigned m_keycode = 0;
};
