// Runs the build engine on a worker thread and hands its reports to the window's thread.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "catalog/engine/build_engine.h"

namespace folivant {

class TBuildRunner : public QObject {
  Q_OBJECT
 public:
  struct TProgress {
    QString Status;
    int Current = 0;
    int Overall = 0;
    int OverallMax = 0;
  };

  explicit TBuildRunner(QObject* parent = nullptr);
  // Cancels a running build and waits for it.
  ~TBuildRunner() override;

  // Starts the build. createTarget answers the engine's question about a missing target
  // folder (the window asks the user before starting). statusHook runs on the worker.
  void Start(TBuildRequest request, bool createTarget,
             std::function<void(const std::string&)> statusHook = {});
  void Cancel();
  bool Running() const { return thread_.joinable(); }
  // Waits for the worker to stop and returns what the build reported.
  TBuildResult Wait();
  // The latest progress; reading it lets the next report through.
  TProgress TakeProgress();
  // page1.html when the engine asked for it to be opened.
  std::string DocumentToOpen() const;
  // The engine found the target folder missing (and made it only when allowed to).
  bool AskedToCreate() const { return asked_.load(); }

 signals:
  // Queued to the window's thread; several reports between two turns of its event loop
  // arrive as one.
  void ProgressChanged();
  void Finished();

 private:
  class TObserver;
  void Post();
  void RepeatCancel();

  std::unique_ptr<TBuildEngine> engine_;
  std::unique_ptr<TObserver> observer_;
  std::thread thread_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> asked_{false};
  mutable std::mutex mutex_;
  TProgress progress_;
  bool posted_ = false;
  std::string openPath_;
  TBuildResult result_;
};

}  // namespace folivant
