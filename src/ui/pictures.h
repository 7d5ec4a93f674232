#pragma once

#include <QPixmap>

// The connection indicator, 25 x 24: a computer and a meter whose screens
// are lit while frames arrive and dark otherwise.
QPixmap connectionPicture(bool lit);
