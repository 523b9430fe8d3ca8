#pragma once
// The main window's picture, painted by the program itself.
#include <QPixmap>
#include <QSize>

namespace shell {

// Terraced rice fields under a morning sky, at the given size.
QPixmap drawPicture(QSize size);

}  // namespace shell
