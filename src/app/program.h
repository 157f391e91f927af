#pragma once

#include <memory>

#include "player/playback_engine.h"

class Form1;

namespace desktop {
class MprisService;
class WindowService;
}  // namespace desktop

// The player as its entry point starts it: the playback engine, the window whose media strip
// shows and steers it, the desktop's media controls over the same engine, and the service by
// which a later start hands its file or folder to this window. Needs the QApplication.
class Program {
public:
    Program();
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    Form1& window() { return *window_; }
    // Shows the window, and offers the desktop's media controls and the hand-over service once
    // it is painted.
    void show();

private:
    void raiseWindow();

    // Made first and ended last: the window and the desktop's controls hold on to it.
    player::PlaybackEngine engine_;
    std::unique_ptr<Form1> window_;
    std::unique_ptr<desktop::MprisService> mpris_;
    std::unique_ptr<desktop::WindowService> windowService_;
};
