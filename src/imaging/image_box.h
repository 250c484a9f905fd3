// The image component: one picture with its resolution, a processing object (resampling,
// undo) and an I/O object (load and save by extension), both owned and attached to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/io_params.h"
#include "imaging/picture_formats.h"
#include "imaging/resample.h"
#include "imaging/stream.h"
#include "imaging/types.h"

namespace folivant {

class TImageBoxClient;

// The picture-holding part of the viewer control: bitmap, resolution, background.
class TImageBoxView {
 public:
  TImageBoxView();
  virtual ~TImageBoxView();
  TImageBoxView(const TImageBoxView&) = delete;
  TImageBoxView& operator=(const TImageBoxView&) = delete;

  TBitmap& Bitmap() { return *bitmap_; }
  const TBitmap& Bitmap() const { return *bitmap_; }

  int DpiX() const { return dpiX_; }
  int DpiY() const { return dpiY_; }
  void SetDpiX(int dpi) { dpiX_ = dpi; }
  void SetDpiY(int dpi) { dpiY_ = dpi; }

  TColor Background() const { return background_; }
  void SetBackground(TColor c) { background_ = c; }

  // Copies the picture: from another view its bitmap, background and resolution; from
  // nullptr the picture is cleared. Then refreshes.
  virtual void AssignView(const TImageBoxView* src);
  // Copies a bare bitmap's pixels in its own format (24-bit or 1-bit). Then refreshes.
  void AssignBitmap(const TBitmap& src);

  // The bitmap changed: recompute the display. Nothing is shown here, so this only counts.
  virtual void Update() { ++updates_; }
  int UpdateCount() const { return updates_; }

  // Attached objects register here to be told when this component is destroyed.
  void AddClient(TImageBoxClient* client);
  void RemoveClient(TImageBoxClient* client);

 private:
  std::unique_ptr<TBitmap> bitmap_;
  int dpiX_;
  int dpiY_;
  TColor background_ = clBtnFace;
  int updates_ = 0;
  std::vector<TImageBoxClient*> clients_;
};

// What the processing and I/O objects share: the picture they work on (a component's
// bitmap or a bare one), the background and the settings they are given.
class TImageBoxClient {
 public:
  virtual ~TImageBoxClient();
  TImageBoxClient(const TImageBoxClient&) = delete;
  TImageBoxClient& operator=(const TImageBoxClient&) = delete;

  // Attaching fetches the component's bitmap and clears AttachedTImage; nullptr detaches.
  void SetAttachedImageBox(TImageBoxView* box);
  TImageBoxView* AttachedImageBox() const { return box_; }
  // A plain bitmap as the picture to work on instead of a component; clears AttachedImageBox.
  void SetAttachedTImage(TBitmap* bitmap);
  TBitmap* AttachedTImage() const { return timage_; }
  // The bitmap being worked on (not owned), or nullptr.
  TBitmap* Bitmap() const { return bitmap_; }

  // The attached component's background, or the object's own when there is none.
  TColor Background() const;
  void SetBackground(TColor c);
  TMsgLanguage MsgLanguage() const { return msgLanguage_; }
  void SetMsgLanguage(TMsgLanguage v) { msgLanguage_ = v; }
  std::uint8_t PreviewsParams() const { return previewsParams_; }
  void SetPreviewsParams(std::uint8_t v) { previewsParams_ = v; }
  const TProgressEvent& OnProgress() const { return onProgress_; }
  void SetOnProgress(TProgressEvent e) { onProgress_ = std::move(e); }

  // The attached component is being destroyed: forget it and its bitmap.
  virtual void ImageBoxDestroyed(TImageBoxView* box);

 protected:
  TImageBoxClient() = default;
  // The bitmap changed: let the attached component recompute its display.
  void Refresh();

 private:
  TImageBoxView* box_ = nullptr;
  TBitmap* timage_ = nullptr;
  TBitmap* bitmap_ = nullptr;
  TColor background_ = clBlack;
  TMsgLanguage msgLanguage_ = TMsgLanguage::msSystem;
  std::uint8_t previewsParams_ = 0;
  TProgressEvent onProgress_;
};

// The processing object: resampling and undo on the attached component's bitmap.
class TImageBoxProc : public TImageBoxClient {
 public:
  TImageBoxProc();
  ~TImageBoxProc() override;

  bool AutoUndo() const { return autoUndo_; }
  void SetAutoUndo(bool v) { autoUndo_ = v; }

  // Resizes the bitmap in place. A negative side keeps the aspect ratio; both negative
  // leaves the picture. Throws EResampleError (picture unchanged) for a side of 0, a
  // proportional side over an empty picture or an unknown filter.
  void Resample(int NewWidth, int NewHeight, TResampleFilter FilterType);

  virtual void SaveUndo();
  virtual void Undo();
  const TBitmap& UndoBitmap() const { return undo_; }

 private:
  bool autoUndo_ = true;
  TBitmap undo_;
};

// The I/O object: load and save by extension through the codec table.
class TImageBoxIO : public TImageBoxClient {
 public:
  TImageBoxIO();
  ~TImageBoxIO() override;

  bool StreamHeaders() const { return streamHeaders_; }
  void SetStreamHeaders(bool v) { streamHeaders_ = v; }

  TIOParamsVals& Params() { return *params_; }
  const TIOParamsVals& Params() const { return *params_; }
  // Cleared at the start of every load and save; set when no reader or writer exists or a
  // codec gives up.
  bool Aborting() const { return aborting_; }
  // Why the last load gave up, when the codec said: empty for a damaged file.
  const std::string& AbortReason() const { return abortReason_; }
  // A flag another thread sets to stop a load at once (TProgressRec::Stop); may be null.
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

  // Load by the extension's format (picture_formats.h), or save by lower-case extension. An
  // extension without a reader or writer sets Aborting and raises nothing; a file that cannot
  // be opened raises EFileError before any codec runs.
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  // Load with the format found from the content (JPEG, GIF or PNG).
  virtual void LoadFromStream(TStream& Stream);

  // Save as JPEG whatever the extension; a 1-bit picture is written without converting the
  // component's bitmap.
  void SaveToFileJpeg(const std::string& FileName);
  // JPEG into any stream (the engine writes to a temporary file it names itself).
  void SaveToStreamJpeg(TStream& Stream);

  // Format code found from the first bytes of a stream (3 JPEG, 2 GIF, 8 PNG, else 0); the
  // stream position is left where it was.
  static int FindStreamFormat(TStream& Stream);

 private:
  // The load has no codec: Aborting set, FileName emptied, FileType 0, picture unchanged.
  void NoReader();
  // One read through the format's reader, with the background handed over and back.
  void Read(const TPictureFormat& format, TPictureReader read, TStream& stream);
  // Starts a load or save: clears Aborting. False when there is no picture to work on, or no
  // codec (which sets Aborting).
  bool Begin(bool haveCodec);
  void ClearAbort() {
    aborting_ = false;
    abortReason_.clear();
  }
  TProgressRec MakeProgress();
  // A picture was read: records where from, gives the attached component its resolution and
  // refreshes it.
  void Loaded(const std::string& fileName, int fileType);

  bool streamHeaders_ = false;
  std::unique_ptr<TIOParamsVals> params_;
  bool aborting_ = false;
  std::string abortReason_;
  const std::atomic<bool>* stop_ = nullptr;
};

// The image component.
class TImageBox : public TImageBoxView {
 public:
  TImageBox();
  ~TImageBox() override;

  void Resample(int NewWidth, int NewHeight, TResampleFilter FilterType) {
    proc_->Resample(NewWidth, NewHeight, FilterType);
  }
  virtual void LoadFromFile(const std::string& FileName) { io_->LoadFromFile(FileName); }
  virtual void SaveToFile(const std::string& FileName) { io_->SaveToFile(FileName); }
  void SaveToFileJpeg(const std::string& FileName) { io_->SaveToFileJpeg(FileName); }

  TIOParamsVals& IOParams() { return io_->Params(); }
  const TIOParamsVals& IOParams() const { return io_->Params(); }
  // The I/O object's flag after the last load or save.
  bool Aborting() const { return io_->Aborting(); }
  const std::string& AbortReason() const { return io_->AbortReason(); }

  void SetOnProgress(TProgressEvent e);
  const TProgressEvent& OnProgress() const { return proc_->OnProgress(); }
  bool AutoUndo() const { return proc_->AutoUndo(); }
  void SetAutoUndo(bool v) { proc_->SetAutoUndo(v); }
  TMsgLanguage MsgLanguage() const { return proc_->MsgLanguage(); }
  void SetMsgLanguage(TMsgLanguage v);
  bool StreamHeaders() const { return io_->StreamHeaders(); }
  void SetStreamHeaders(bool v) { io_->SetStreamHeaders(v); }
  std::uint8_t ProcPreviewsParams() const { return proc_->PreviewsParams(); }
  void SetProcPreviewsParams(std::uint8_t v) { proc_->SetPreviewsParams(v); }
  std::uint8_t IOPreviewsParams() const { return io_->PreviewsParams(); }
  void SetIOPreviewsParams(std::uint8_t v) { io_->SetPreviewsParams(v); }

  // From another component: its I/O parameters, then its picture. From nullptr: clears.
  void Assign(const TImageBoxView* Source);
  // From an I/O object: its parameters only.
  void Assign(const TImageBoxIO& Source);
  // From a bare bitmap: its pixels.
  void Assign(const TBitmap& Source);

  TImageBoxProc& Proc() { return *proc_; }
  TImageBoxIO& IO() { return *io_; }
  const TImageBoxProc& Proc() const { return *proc_; }
  const TImageBoxIO& IO() const { return *io_; }

 private:
  std::unique_ptr<TImageBoxProc> proc_;
  std::unique_ptr<TImageBoxIO> io_;
};

}  // namespace folivant
