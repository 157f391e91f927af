#pragma once

#include <QString>

namespace player {

// How sound mixers show what the player plays: the program's name and the name of its icon in
// the desktop's icon theme.
struct SoundIdentity {
    QString name;
    QString iconName;
};

}  // namespace player
