#pragma once

#include <QLine>
#include <QRect>

// Where each control of the window sits. Places are designed in units of 1/1440 inch, 15 to a
// logical pixel; Qt scales logical pixels on high-density screens.
namespace control_places {

constexpr int kUnitsPerPixel = 15;

constexpr QRect place(int left, int top, int width, int height) {
    return {left / kUnitsPerPixel, top / kUnitsPerPixel, width / kUnitsPerPixel,
            height / kUnitsPerPixel};
}

constexpr QSize kWindow{8625 / kUnitsPerPixel, 6705 / kUnitsPerPixel};

constexpr QRect kPicture1 = place(1200, 120, 6375, 855);
constexpr QRect kCommand1 = place(7920, 120, 615, 375);
constexpr QRect kShape1 = place(120, 1080, 8415, 5535);
constexpr QRect kDir1 = place(240, 1200, 1935, 3930);
constexpr QRect kDrive1 = place(240, 5280, 1935, 330);
constexpr QRect kLblMsg = place(2280, 1200, 3015, 255);
constexpr QRect kFile1 = place(2280, 1440, 3015, 3660);
constexpr QRect kShape2 = place(5400, 1080, 3135, 2775);
constexpr QRect kLabel1 = place(5400, 1200, 855, 255);
constexpr QRect kTxtTitle = place(6360, 1200, 2055, 285);
constexpr QRect kLabel2 = place(5400, 1560, 855, 255);
constexpr QRect kTxtArtist = place(6360, 1560, 2055, 285);
constexpr QRect kLabel3 = place(5400, 1920, 855, 255);
constexpr QRect kTxtAlbum = place(6360, 1920, 2055, 285);
constexpr QRect kLabel4 = place(5400, 2280, 855, 255);
constexpr QRect kTxtYear = place(6360, 2280, 2055, 285);
constexpr QRect kLabel5 = place(5400, 2640, 855, 255);
constexpr QRect kTxtComment = place(6360, 2640, 2055, 285);
constexpr QRect kLabel6 = place(5400, 3000, 855, 255);
constexpr QRect kCombo1 = place(6360, 3000, 1335, 315);
constexpr QRect kTxtGenreCode = place(7800, 3000, 615, 285);
constexpr QRect kCmdWriteTag = place(6360, 3360, 2055, 375);
constexpr QRect kLblTotalTime = place(5520, 4440, 2895, 615);
constexpr QRect kLblElapsedTime = place(5520, 5040, 2895, 495);
constexpr QRect kCmdOpen = place(3960, 5280, 1335, 375);
constexpr QLine kLine1{120 / kUnitsPerPixel, 5760 / kUnitsPerPixel, 8520 / kUnitsPerPixel,
                       5760 / kUnitsPerPixel};
constexpr QRect kMediaPlayer1 = place(240, 5880, 8175, 615);

}  // namespace control_places
