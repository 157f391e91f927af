#pragma once

#include <QString>
#include <QStringList>

#include "player/media_component.h"

// Stands in for the media strip: records what the window asks of it and reports play states
// only when a test says so.
class FakeMediaComponent : public MediaComponent {
    Q_OBJECT

public:
    using MediaComponent::MediaComponent;

    void setSourceFile(const core::FilePath& path) override {
        calls << QStringLiteral("source:") + path.exactSpelling();
        source = path;
    }
    void setAutoRewind(bool on) override {
        calls << (on ? QStringLiteral("autoRewind:on") : QStringLiteral("autoRewind:off"));
    }
    double duration() const override { return length; }
    double currentPosition() const override { return position; }
    core::FilePath sourceFile() const override { return source; }

    void reportState(qint32 oldState, qint32 newState) {
        emit playStateChanged(oldState, newState);
    }

    QStringList calls;
    double length = 0;
    double position = 0;
    core::FilePath source;
};
