#include "client/ui/views/CImageCache.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>

#include "platform/ProgramDir.h"

namespace {

// The disk cache is trimmed to kDiskKeep files once it holds more than kDiskLimit.
constexpr int kDiskLimit = 4000;
constexpr int kDiskKeep = 2000;
constexpr const char* kSourceSizeKey = "OrvSourceSize";

bool AcceptedFormat(const QByteArray& format) {
  return format == "png" || format == "jpeg" || format == "gif" || format == "bmp";
}

// The picture in the format it is drawn in: opaque pictures as RGB32, which a painter
// copies row by row into the window (no blending, no work spread over Qt's thread pool);
// the others premultiplied, which blend without a per-pixel conversion.
QImage ForScreen(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < out.height(); ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(out.constScanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if (qAlpha(line[x]) != 255) return out;
  }
  out.reinterpretAsFormat(QImage::Format_RGB32);  // the same bytes, alpha all 0xff
  return out;
}

void TrimDiskCache(const QString& folder) {
  QDir dir(folder);
  QFileInfoList files = dir.entryInfoList({QStringLiteral("*.png")}, QDir::Files, QDir::Time);
  for (qsizetype i = kDiskKeep; files.size() > kDiskLimit && i < files.size(); ++i)
    QFile::remove(files[i].filePath());  // the oldest, sorted newest first
}

}  // namespace

CImageCache& CImageCache::Instance() {
  static QPointer<CImageCache> instance;
  if (!instance) instance = new CImageCache(QCoreApplication::instance());
  return *instance;
}

CImageCache::CImageCache(QObject* parent)
    : QObject(parent), m_diskFolder(QString::fromStdString(plat::JoinProgramPath("\\ImageCache"))) {
  // One thread: decodes never compete with the GUI thread for both cores, and at most one
  // full-size decode is held at a time.
  m_pool.setMaxThreadCount(1);
  m_memory.setMaxCost(static_cast<qsizetype>(kMemoryBytes / 1024));
  m_pool.start([folder = m_diskFolder] { TrimDiskCache(folder); });
}

CImageCache::~CImageCache() {
  m_pool.clear();
  m_pool.waitForDone();
}

QString CImageCache::KeyOf(const QString& path, const QSize& target, Sizer sizer) {
  return QStringLiteral("%1|%2x%3|%4")
      .arg(path)
      .arg(target.width())
      .arg(target.height())
      .arg(sizer ? QStringLiteral("fit") : QStringLiteral("fill"));
}

CImageCache::Picture CImageCache::Decode(const QString& path, const QSize& target, Sizer sizer) {
  Picture picture;
  if (path.isEmpty() || target.isEmpty()) return picture;
  QImageReader reader(path);
  // The file's name says nothing: its bytes decide.
  reader.setDecideFormatFromContent(true);
  if (!AcceptedFormat(reader.format())) return picture;
  // The size comes from the header: nothing is decoded above the limit.
  const QSize source = reader.size();
  if (!source.isValid() || source.isEmpty() ||
      static_cast<qint64>(source.width()) * source.height() > kMaxPixels)
    return picture;
  const QSize scaled = sizer ? sizer(source, target) : target;
  if (scaled.isEmpty()) return picture;
  reader.setScaledSize(scaled);
  QImage image = reader.read();
  if (image.isNull()) return picture;
  picture.state = State::Ready;
  picture.image = ForScreen(image);
  picture.source = source;
  return picture;
}

CImageCache::Picture CImageCache::Load(const QString& path, const QSize& target, Sizer sizer,
                                       const QString& diskFolder) {
  const QFileInfo info(path);
  if (!info.isFile()) return {};
  const QByteArray id = (KeyOf(path, target, sizer) + QLatin1Char('|') +
                         QString::number(info.lastModified().toMSecsSinceEpoch()) +
                         QLatin1Char('|') + QString::number(info.size()))
                            .toUtf8();
  const QString diskFile =
      diskFolder + QLatin1Char('/') +
      QString::fromLatin1(QCryptographicHash::hash(id, QCryptographicHash::Md5).toHex()) +
      QStringLiteral(".png");
  {
    QImageReader cached(diskFile, "png");
    const QStringList wh = cached.text(QString::fromLatin1(kSourceSizeKey)).split(QLatin1Char('x'));
    const QSize source = wh.size() == 2 ? QSize(wh[0].toInt(), wh[1].toInt()) : QSize();
    QImage image = source.isValid() ? cached.read() : QImage();
    if (!image.isNull()) {
      Picture picture;
      picture.state = State::Ready;
      picture.image = ForScreen(image);
      picture.source = source;
      return picture;
    }
  }
  Picture picture = Decode(path, target, sizer);
  if (picture.state == State::Ready && QDir().mkpath(diskFolder)) {
    QSaveFile file(diskFile);
    if (file.open(QIODevice::WriteOnly)) {
      QImageWriter writer(&file, "png");
      writer.setText(
          QString::fromLatin1(kSourceSizeKey),
          QStringLiteral("%1x%2").arg(picture.source.width()).arg(picture.source.height()));
      if (writer.write(picture.image))
        file.commit();
      else
        file.cancelWriting();
    }
  }
  return picture;
}

CImageCache::Picture CImageCache::Lookup(const QString& path, const QSize& target, Sizer sizer,
                                         QWidget* waiter) {
  if (path.isEmpty() || target.isEmpty()) return {};
  const QString key = KeyOf(path, target, sizer);
  if (const Picture* hit = m_memory.object(key)) return *hit;
  const auto failed = m_failed.constFind(path);
  if (failed != m_failed.constEnd() && failed->contains(key)) return {};
  Picture pending;
  pending.state = State::Pending;
  auto it = m_pending.find(key);
  if (it != m_pending.end()) {
    if (waiter && !it->contains(waiter)) it->append(waiter);
    return pending;
  }
  m_pending.insert(key, waiter ? QList<QPointer<QWidget>>{waiter} : QList<QPointer<QWidget>>{});
  ++m_pendingPaths[path];
  Queue(key, path, target, sizer);
  return pending;
}

void CImageCache::Queue(const QString& key, const QString& path, const QSize& target, Sizer sizer) {
  const int generation = m_generation.value(path);
  m_pool.start(
      [this, key, path, target, sizer, generation, folder = m_diskFolder] {
        const Picture picture = Load(path, target, sizer, folder);
        QMetaObject::invokeMethod(
            this,
            [this, key, path, target, sizer, generation, picture] {
              Arrived(key, path, target, sizer, generation, picture);
            },
            Qt::QueuedConnection);
      },
      ++m_sequence);
}

CImageCache::Picture CImageCache::Peek(const QString& path, const QSize& target,
                                       Sizer sizer) const {
  if (path.isEmpty() || target.isEmpty()) return {};
  const QString key = KeyOf(path, target, sizer);
  if (const Picture* hit = m_memory.object(key)) return *hit;
  Picture picture;
  if (m_pending.contains(key)) picture.state = State::Pending;
  return picture;
}

void CImageCache::Arrived(const QString& key, const QString& path, const QSize& target, Sizer sizer,
                          int generation, const Picture& picture) {
  ++m_decodes;
  if (picture.state != State::Ready && generation != m_generation.value(path)) {
    // The file arrived or changed while it was read: read it again for the same waiters.
    Queue(key, path, target, sizer);
    return;
  }
  const QList<QPointer<QWidget>> waiters = m_pending.take(key);
  if (--m_pendingPaths[path] <= 0) m_pendingPaths.remove(path);
  if (picture.state == State::Ready) {
    const qsizetype kb = std::max<qsizetype>(1, picture.image.sizeInBytes() / 1024);
    m_memory.insert(key, new Picture(picture), kb);
  } else {
    m_failed[path].insert(key);
  }
  for (const QPointer<QWidget>& widget : waiters)
    if (widget) widget->update();
}

void CImageCache::ForgetFailure(const QString& path) {
  m_failed.remove(path);
  // Only a decode in flight can have missed a change: without one nothing is counted, so
  // binding thousands of tiles keeps no record per path.
  if (m_pendingPaths.contains(path)) ++m_generation[path];
}

bool CImageCache::WaitIdle(int ms) {
  const QDeadlineTimer deadline(ms);
  do {
    // A result may queue its decode again (its file changed meanwhile).
    if (!m_pool.waitForDone(static_cast<int>(deadline.remainingTime()))) return false;
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
  } while (!m_pending.isEmpty() && !deadline.hasExpired());
  return m_pending.isEmpty();
}
