#pragma once

#include "player/media_component.h"

// A media strip that plays nothing. The window fuzzer exercises the tag side of the window;
// GStreamer would only slow each input down and bring its own threads and leaks.
class SilentMediaComponent : public MediaComponent {
public:
    using MediaComponent::MediaComponent;

    void setSourceFile(const core::FilePath& /*path*/) override {}
    void setAutoRewind(bool /*on*/) override {}
    double duration() const override { return 0.0; }
    double currentPosition() const override { return 0.0; }
    core::FilePath sourceFile() const override { return {}; }
};
