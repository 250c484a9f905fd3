// The small controls the window needs beyond plain Qt widgets: a spinner bound to a text field,
// a gradient progress bar, a colour picker button with its drop-down palette, a hyperlink label,
// a list that takes dropped files.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

namespace folivant {

// Up/down arrows that step a number shown in an associated text field. The field may also be
// typed into; a step starts from the field's number when it holds one.
class TUpDown : public QWidget {
  Q_OBJECT
 public:
  TUpDown(QLineEdit* associate, int min, int max, int position, QWidget* parent = nullptr);
  int Position() const { return position_; }
  int Min() const { return min_; }
  int Max() const { return max_; }
  // Clamps to the limits and shows the number in the field.
  void SetPosition(int value);
  // One click up (+1) or down (-1); no wrap-around.
  void Step(int delta);
  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* associate_;
  QToolButton* up_;
  QToolButton* down_;
  int min_, max_, position_;
};

// A progress bar filled with a blue-to-red gradient and showing its percentage.
class TGradientProgressBar : public QProgressBar {
  Q_OBJECT
 public:
  explicit TGradientProgressBar(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A colour value as the settings file holds it: 0x00BBGGRR, or 0x80000000 plus an index for a
// system colour.
using TColorValue = std::uint32_t;

QColor PlainColorToQColor(TColorValue value);
TColorValue QColorToColorValue(const QColor& color);
// Resolves system colours through the palette; a plain colour comes back unchanged.
QColor ResolveColor(TColorValue value, const QPalette& palette);

// Button showing a colour; its menu offers "Choose color" (back to the default colour), a
// palette of fixed colours and "More colors" (a free choice through the colour dialog).
class TColorPickerButton : public QToolButton {
  Q_OBJECT
 public:
  using TAskColor = std::function<std::optional<QColor>(const QColor& initial)>;
  TColorPickerButton(TColorValue defaultColor, QWidget* parent = nullptr);
  TColorValue Color() const { return color_; }
  // Sets the colour without running the change handling.
  void SetColor(TColorValue value);
  void SetAskColor(TAskColor ask) { ask_ = std::move(ask); }
  // The menu's entries, for tests: "Choose color", "More colors" and the palette.
  void ChooseDefault();
  void ChooseMore();
  void ChoosePalette(TColorValue value);

 signals:
  void Changed();

 private:
  void UpdateIcon();
  void Pick(TColorValue value);

  TColorValue default_;
  TColorValue color_;
  TAskColor ask_;
};

// A label that shows an address and opens it when clicked.
class THyperlinkLabel : public QLabel {
  Q_OBJECT
 public:
  THyperlinkLabel(const QString& url, const QString& text, QWidget* parent = nullptr);
 signals:
  void Open(const QString& url);
};

// A list that takes files and folders dropped from a file manager; its own items are not
// dragged about.
class TDropList : public QListWidget {
  Q_OBJECT
 public:
  explicit TDropList(QWidget* parent = nullptr);
 signals:
  // The local paths in the order dropped, and how many dropped items were not local files.
  void Dropped(const QStringList& paths, int notLocal);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace folivant
