#include "app/picture_preview.h"

#include <QMetaObject>
#include <algorithm>
#include <cmath>
#include <exception>

#include "imaging/image_box.h"
#include "imaging/orientation.h"
#include "imaging/resample.h"

namespace folivant {

TPreview MakePreview(const std::string& path, QSize box) {
  TPreview out;
  const std::size_t slash = path.find_last_of('/');
  const QString name =
      QString::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1));
  auto fail = [&](const QString& why) {
    out.Error = QStringLiteral("Cannot read picture %1: %2").arg(name, why);
    return out;
  };
  try {
    TImageBox picture;
    picture.LoadFromFile(path);
    TBitmap& bmp = picture.Bitmap();
    if (picture.Aborting() || bmp.Width() <= 0 || bmp.Height() <= 0)
      return fail(QStringLiteral("not a picture this program can read, or damaged"));
    // Upright, as a browser shows the copy.
    TurnUpright(bmp, picture.IOParams().ExifOrientation);
    out.FullSize = QSize(bmp.Width(), bmp.Height());
    const double scale = std::min({1.0, double(std::max(box.width(), 1)) / bmp.Width(),
                                   double(std::max(box.height(), 1)) / bmp.Height()});
    const int w = std::max(1, static_cast<int>(std::lround(bmp.Width() * scale)));
    const int h = std::max(1, static_cast<int>(std::lround(bmp.Height() * scale)));
    if (w != bmp.Width() || h != bmp.Height()) picture.Resample(w, h, TResampleFilter::rfMitchell);
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    QImage image(bmp.Width(), bmp.Height(), QImage::Format_RGB888);
    for (int y = 0; y < bmp.Height(); ++y) {
      const std::uint8_t* src = bmp.ScanLine(y);  // blue, green, red
      uchar* dst = image.scanLine(y);
      for (int x = 0; x < bmp.Width(); ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
      }
    }
    out.Image = std::move(image);
  } catch (const std::exception& e) {
    return fail(QString::fromStdString(e.what()));
  }
  return out;
}

TPreviewLoader::TPreviewLoader(QObject* parent) : QObject(parent) {
  thread_ = std::thread([this] { Work(); });
}

TPreviewLoader::~TPreviewLoader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void TPreviewLoader::Request(const QString& path, QSize box) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++newest_;
    if (path.isEmpty()) {
      pending_.reset();
      return;
    }
    pending_ = Job{path, box, newest_};
  }
  wake_.notify_one();
}

void TPreviewLoader::Work() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || pending_.has_value(); });
      if (stop_) return;
      job = std::move(*pending_);
      pending_.reset();
    }
    TPreview preview = MakePreview(job.Path.toStdString(), job.Box);
    // Delivered on the owner's thread, and only while no newer request has come; dropped
    // with the loader if it is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, path = job.Path, number = job.Number, preview = std::move(preview)] {
          {
            std::lock_guard<std::mutex> lock(mutex_);
            if (number != newest_) return;
          }
          emit Ready(path, preview);
        },
        Qt::QueuedConnection);
  }
}

}  // namespace folivant
