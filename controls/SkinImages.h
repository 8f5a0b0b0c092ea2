#pragma once
// Locating and loading the deployment skin: image files under the program directory and the
// numbered resource images under "image/res/".
#include <QIcon>
#include <QImage>
#include <QString>

// Colour keyed out of skin bitmaps, as a transparent blit would: RGB(255, 0, 255).
inline constexpr QRgb kSkinKeyColor = 0xFFFF00FFu;

// The program directory: the folder of the running executable.
QString SkinProgramDir();

// Joins a product-style relative name ("image\Top\Topmost.bmp" or "\image\x.png") to the
// program directory, turning backslashes into '/'. Absolute paths are returned unchanged.
QString SkinImagePath(const QString& relative);

// ARGB copy of `image` in which every pixel of the key colour is fully transparent.
QImage KeyOutMagenta(const QImage& image);

// Loads a skin image by product-style relative name; magenta becomes transparent.
// A null image when the file is missing or unreadable.
QImage LoadSkinImage(const QString& relative);

// Path of resource image `id` ("image/res/<id>.bmp", or .png for the icons).
QString ResourceImagePath(int id);

// Loads resource image `id` as it is stored (no keying); null when it is missing.
QImage ResourceImage(int id);

// The program icon (resource 128) or another icon resource by number.
QIcon ResourceIcon(int id = 128);
