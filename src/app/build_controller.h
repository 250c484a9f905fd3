// Runs the window's builds: starts one from a request, asks about a missing target folder and
// starts again, cancels, holds a close until the worker has stopped, and tells how it ended.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "catalog/engine/build_engine.h"

class QMainWindow;

namespace folivant {

class IDialogs;
class TBuildRunner;
class TBuildTab;

class TBuildController : public QObject {
 public:
  struct THost {
    std::function<void(const QString&)> SetStatus;
    // What a running build leaves no use for is disabled while it runs.
    std::function<void(bool enabled)> SetIdleControlsEnabled;
    // Called on a build worker with every status text.
    std::function<void(const std::string&)> WorkerStatusHook;
  };

  TBuildController(QMainWindow& window, IDialogs& dialogs, TBuildTab& tab, THost host);
  // A build still running (the program is ending) is cancelled and waited for.
  ~TBuildController() override;

  bool Active() const { return active_; }
  // The window was closed during a build and waits for the worker to stop.
  bool Closing() const { return closing_; }
  // Starts request; a missing target folder is asked about when the engine reaches it.
  void Start(TBuildRequest request);
  void Cancel();
  // Asked by a close: false while a build runs, which is then cancelled; the window is closed
  // again when the worker has stopped.
  bool MayClose();

 private:
  void Run(bool createTarget);
  void FlushProgress();
  void Finished();
  void PutBack();
  void ShowEnd(const TBuildResult& result);
  void TellWarnings(const TBuildResult& result);

  QMainWindow& window_;
  IDialogs& dialogs_;
  TBuildTab& tab_;
  THost host_;
  std::unique_ptr<TBuildRunner> runner_;
  std::unique_ptr<TBuildRequest> request_;  // the running build's snapshot, kept for a restart
  bool active_ = false;
  bool cancelRequested_ = false;
  bool closing_ = false;
};

}  // namespace folivant
