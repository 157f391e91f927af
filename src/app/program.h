#pragma once

#include <memory>

class Form1;

namespace desktop {
class MprisService;
}

// The player as its entry point starts it: the window over the system's media strip, and the
// desktop's media controls over the strip's playback. Needs the QApplication.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Form1& window() { return *window_; }
    // Shows the window, and offers the desktop's media controls once it is painted.
    void show();

private:
    std::unique_ptr<Form1> window_;
    std::unique_ptr<desktop::MprisService> mpris_;
};
