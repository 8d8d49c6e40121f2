// The program's own pictures: tool bar icons, the window icon and the about box picture.
#pragma once

#include <QIcon>
#include <QPixmap>

QIcon DiscoverIcon();
QIcon AddDeviceIcon();
QIcon WebConfigIcon();
QIcon WindowIcon();
QPixmap AboutPicture(const QSize& size);
