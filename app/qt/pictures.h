// The program's own pictures, drawn at start-up instead of shipped as bitmaps: the logo, the
// title picture with the program's name and version, and the small button pictures.
#pragma once

#include <QIcon>
#include <QPixmap>

#include "app/window_design.h"

namespace kestravuna::app {

// The picture at its designed size: the logo 100 x 100, the title 300 x 200, button pictures
// 16 x 16.
QPixmap DrawPicture(Picture picture);
// A button picture with its normal and its disabled (grey) image.
QIcon ButtonIcon(Picture picture);

}  // namespace kestravuna::app
