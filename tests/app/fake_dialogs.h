// Dialog answers queued by the test, and a record of every message the window showed.
#pragma once

#include <QDialog>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <memory>
#include <optional>

#include "app/dialogs.h"
#include "app/main_form.h"

namespace folivant::test {

struct TShown {
  QString Kind;  // "information", "warning", "plain", "critical", "question"
  QString Title;
  QString Text;
};

class TFakeDialogs : public IDialogs {
 public:
  std::deque<QStringList> FilesAnswers;  // OpenFiles
  std::deque<QString> FileAnswers;       // OpenFile
  std::deque<bool> YesNoAnswers;
  std::vector<TShown> Shown;
  std::vector<QUrl> Opened;

  void Information(QWidget*, const QString& title, const QString& text) override {
    Shown.push_back({QStringLiteral("information"), title, text});
  }
  void Warning(QWidget*, const QString& text) override { Shown.push_back({"warning", {}, text}); }
  void Plain(QWidget*, const QString& title, const QString& text) override {
    Shown.push_back({QStringLiteral("plain"), title, text});
  }
  void Critical(QWidget*, const QString& text) override { Shown.push_back({"critical", {}, text}); }
  bool AskYesNo(QWidget*, const QString& text) override {
    Shown.push_back({QStringLiteral("question"), {}, text});
    return Pop(YesNoAnswers, false);
  }
  QStringList OpenFiles(QWidget*, const QString&, const QString&, const QString&) override {
    return Pop(FilesAnswers, QStringList{});
  }
  QString OpenFile(QWidget*, const QString&, const QString&, const QString&, const QString&,
                   bool) override {
    return Pop(FileAnswers, QString{});
  }
  // Save and folder dialogs are cancelled, the colour dialog too; the About box is not run.
  QString SaveFile(QWidget*, const QString&, const QString&, const QString&,
                   const QString&) override {
    return {};
  }
  QStringList FolderAnswers;
  QString Folder(QWidget*, const QString&, const QString&) override {
    return FolderAnswers.isEmpty() ? QString() : FolderAnswers.takeFirst();
  }
  std::optional<QColor> Color(QWidget*, const QColor&) override { return std::nullopt; }
  bool OpenUrl(const QUrl& url) override {
    Opened.push_back(url);
    return true;
  }
  void Exec(QDialog&) override {}

  // The messages of one kind, in order.
  QStringList Texts(const QString& kind) const {
    QStringList out;
    for (const TShown& s : Shown)
      if (s.Kind == kind) out << s.Text;
    return out;
  }

 private:
  template <class T>
  static T Pop(std::deque<T>& q, T def) {
    if (q.empty()) return def;
    T v = std::move(q.front());
    q.pop_front();
    return v;
  }
};

// The window under test, with a private folder for its settings file and fake dialogs.
class TWindowHarness {
 protected:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TFakeDialogs> dialogs_;
  std::unique_ptr<TForm1> form_;

  QString Path(const QString& name) const { return dir_->filePath(name); }
  QString SettingsPath() const { return Path(QStringLiteral("folivant.ini")); }
  TForm1::TEnv Env(int jobs) const {
    TForm1::TEnv env;
    env.Dialogs = dialogs_.get();
    env.SettingsPath = SettingsPath();
    env.ProgramDir = dir_->path();
    env.Jobs = jobs;
    return env;
  }
  template <class T>
  T* W(const char* name) const {
    T* w = form_->findChild<T*>(QString::fromLatin1(name));
    if (!w) qFatal("no control %s", name);
    return w;
  }
  void Start() {
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) qFatal("no temporary folder");
    dialogs_ = std::make_unique<TFakeDialogs>();
  }
  void Stop() {
    form_.reset();
    dialogs_.reset();
    dir_.reset();
  }
};

}  // namespace folivant::test
