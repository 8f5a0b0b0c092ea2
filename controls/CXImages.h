#pragma once
// The image list of a CXTabCtrl: images referred to by index, drawn plain or highlighted.
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <vector>

class CXImages {
 public:
  // Adds a copy of `image` (magenta keyed out) and returns its index; -1 for a null image.
  int Add(const QImage& image);
  int Count() const { return static_cast<int>(m_images.size()); }
  // Size of image `index`; an empty size for an index outside the list.
  QSize Size(int index) const;
  // Draws image `index` centred in `rect`; the highlighted form is brightened and sits on a
  // soft light plate. An index outside the list draws nothing.
  void Draw(QPainter& painter, int index, const QRect& rect, bool highlighted) const;
  void Clear();

 private:
  std::vector<QImage> m_images;
  std::vector<QImage> m_highlighted;
};
