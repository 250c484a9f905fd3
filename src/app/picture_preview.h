// The preview of the selected picture: read by the program's own loaders and scaled by its own
// resampler on a worker thread, so the window never waits for a picture.
#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace folivant {

struct TPreview {
  QImage Image;    // fits the box asked for, never larger than the picture; null on error
  QSize FullSize;  // the picture's own size
  QString Error;   // why there is no image: "Cannot read picture NAME: ..."
};

// Reads path and scales it to fit box, keeping its proportions. Any thread.
TPreview MakePreview(const std::string& path, QSize box);

// One worker making previews one at a time. The newest request wins: one still waiting is
// replaced, and the result of one made in the meantime is dropped unseen.
class TPreviewLoader : public QObject {
  Q_OBJECT
 public:
  explicit TPreviewLoader(QObject* parent = nullptr);
  ~TPreviewLoader() override;  // waits for the picture in hand, if any

  // Asks for the preview of path; an empty path withdraws the request before it.
  void Request(const QString& path, QSize box);

 signals:
  // On the owner's thread, for the newest request only.
  void Ready(const QString& path, const folivant::TPreview& preview);

 private:
  struct Job {
    QString Path;
    QSize Box;
    std::uint64_t Number = 0;
  };
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::optional<Job> pending_;
  std::uint64_t newest_ = 0;  // number of the newest request (guarded by mutex_)
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace folivant
