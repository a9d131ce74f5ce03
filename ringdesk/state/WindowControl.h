#pragma once

// What the core asks of the window it runs in. The desktop program gives these their bodies;
// tests and headless runs use the do-nothing defaults.
class WindowControl
{
public:
    virtual ~WindowControl() = default;

    // Brings the window back to its normal state and out of the tray.
    virtual void MaximizeCallIDForm() {}
};
