#pragma once

#include <QComboBox>

// The genre list: a drop-down whose open list is as wide as its longest name, so that no name
// is cut short there. The names are measured when the list first opens, not when the window is
// built.
class GenreBox : public QComboBox {
public:
    using QComboBox::QComboBox;

    void showPopup() override;

private:
    bool measured_ = false;
};
