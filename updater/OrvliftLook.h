#pragma once
// The updater's own images: the window icon and the banner on the left of its dialog.
#include <QIcon>
#include <QPixmap>

QIcon OrvliftIcon();
QPixmap OrvliftBanner(const QSize& size);
