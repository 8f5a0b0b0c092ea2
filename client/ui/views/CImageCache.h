#pragma once
// Icons and banner pictures decoded once, off the GUI thread, at the size they are drawn.
//
// A widget asks for a file at a target size while it paints: a decoded picture is handed
// back at once; otherwise the decode is queued on the cache's own thread and the widget is
// repainted when it is done. A file is decoded only when it is a PNG, JPEG, GIF or BMP of
// at most kMaxPixels (read from its header before any decoding), straight to the target
// size (QImageReader::setScaledSize). Results are kept in memory up to kMemoryBytes (least
// recently used go first) and on disk under "\ImageCache\" (named after the file, its time
// and length, and the size), so a later start does not decode again. A file that could not
// be decoded is remembered as such until its path is bound again (ForgetFailure), so a
// broken file costs one attempt, not one per paint. GUI thread only, but for Decode.
#include <QCache>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>
#include <QThreadPool>
#include <QWidget>

class CImageCache final : public QObject {
  Q_OBJECT
 public:
  static constexpr qint64 kMaxPixels = 4096LL * 4096LL;
  static constexpr qint64 kMemoryBytes = 16LL * 1024 * 1024;

  // The size a picture of `source` size is decoded to for a `target`; null: `target` itself.
  using Sizer = QSize (*)(const QSize& source, const QSize& target);

  enum class State { Ready, Pending, Failed };
  struct Picture {
    State state = State::Failed;
    QImage image;  // at the decoded size; null unless Ready
    QSize source;  // the file's own size; empty unless Ready
  };

  // The one cache of the process (a child of the application object).
  static CImageCache& Instance();

  // The picture of path for target; queues its decode on a miss and repaints waiter (if
  // any) once it is done.
  Picture Lookup(const QString& path, const QSize& target, Sizer sizer, QWidget* waiter);
  // What Lookup would hand back, without queueing anything.
  Picture Peek(const QString& path, const QSize& target, Sizer sizer) const;
  // A failed decode of path may be tried again (its file may have arrived or changed).
  void ForgetFailure(const QString& path);

  // Decodes path for target as Lookup does, without any cache: a null image when the file
  // is missing, of another format, above kMaxPixels or broken. Any thread.
  static Picture Decode(const QString& path, const QSize& target, Sizer sizer);

  // Blocks until every queued decode has ended and its result arrived (tests, benchmarks).
  bool WaitIdle(int ms);
  // Memory held by decoded pictures, in bytes.
  qint64 MemoryBytes() const { return m_memory.totalCost() * 1024LL; }
  // Decodes run (from the file or the disk cache) since the start.
  int DecodeCount() const { return m_decodes; }

 private:
  explicit CImageCache(QObject* parent);
  ~CImageCache() override;

  static QString KeyOf(const QString& path, const QSize& target, Sizer sizer);
  // Decode with the disk cache in front of it; any thread.
  static Picture Load(const QString& path, const QSize& target, Sizer sizer,
                      const QString& diskFolder);
  void Queue(const QString& key, const QString& path, const QSize& target, Sizer sizer);
  void Arrived(const QString& key, const QString& path, const QSize& target, Sizer sizer,
               int generation, const Picture& picture);

  QThreadPool m_pool;
  QCache<QString, Picture> m_memory;       // cost in KB
  QHash<QString, QSet<QString>> m_failed;  // path -> keys that failed
  // path -> times ForgetFailure was called for it: a decode that began before the last call
  // may have missed the file, so its failure is not remembered.
  QHash<QString, int> m_generation;
  QHash<QString, int> m_pendingPaths;                  // path -> decodes in flight
  QHash<QString, QList<QPointer<QWidget>>> m_pending;  // key -> widgets to repaint
  QString m_diskFolder;
  int m_sequence = 0;  // newest requests are decoded first
  int m_decodes = 0;
};
