#pragma once
// The advertisement banner over the home page: shows one downloaded picture fitted into
// its rectangle with the picture's aspect ratio, and opens the picture's link on a click.
// The picture is decoded once at the size it is drawn (CImageCache): showing a banner
// again decodes nothing.
// A ".SWF" banner is handed to a blank child window of its own (CSwfWnd), which plays
// nothing. The parent's background shows wherever the picture does not cover.
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>
#include <string>

// A plain child that fills the banner and draws nothing but the window background.
class CSwfWnd : public QWidget {
  Q_OBJECT
 public:
  explicit CSwfWnd(QWidget* parent);
};

class CAdvImage : public QWidget {
  Q_OBJECT
 public:
  // Opens a link in the browser; true when started.
  using LinkOpener = std::function<bool(const std::string& url)>;

  explicit CAdvImage(QWidget* parent = nullptr, LinkOpener opener = {});

  // Shows a new banner: the file (full native path) and its link ("" for none). A path
  // without a "." shows nothing and keeps the old link.
  void SetAdvertisement(const std::string& filePath, const std::string& link);

  const std::string& Link() const { return m_link; }
  // Whether the picture is decoded for the banner's present size (it is drawn).
  bool HasPicture() const;
  CSwfWnd* SwfWindow() const { return m_swf; }

  // Where a picture of `picture` size is drawn in a client of `client` size: the height
  // fills the client unless the width then overflows, each fitted size with bit 1
  // cleared, centred.
  static QRect FitRect(const QSize& picture, const QSize& client);
  static QSize FitSize(const QSize& picture, const QSize& client);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  LinkOpener m_opener;
  std::string m_link;
  QString m_picturePath;  // "" while no picture is to be shown
  CSwfWnd* m_swf;
};
