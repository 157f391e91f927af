#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

// What a modal message box showed, taken while it was open; the box is then closed with OK.
struct ShownMessageBox {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttonCount = 0;
    bool ownerVisible = false;  // whether the window behind it was still on screen
};

// Runs `action` and answers the modal message box it opens, if any.
ShownMessageBox answerMessageBox(const std::function<void()>& action);
