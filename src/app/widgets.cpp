#include "app/widgets.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPalette>
#include <QStyleOption>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <algorithm>
#include <array>
#include <limits>

namespace folivant {

// ---- TUpDown ----

TUpDown::TUpDown(QLineEdit* associate, int min, int max, int position, QWidget* parent)
    : QWidget(parent), associate_(associate), min_(min), max_(max), position_(position) {
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  up_ = new QToolButton(this);
  down_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* b : {up_, down_}) {
    b->setAutoRepeat(true);
    b->setFixedSize(16, 11);
    b->setFocusPolicy(Qt::NoFocus);
    box->addWidget(b);
  }
  // The arrow keys in the field step as the buttons do.
  if (associate_) associate_->installEventFilter(this);
  connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
  SetPosition(position);
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == associate_ && event->type() == QEvent::KeyPress && isEnabled()) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      Step(key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TUpDown::SetPosition(int value) {
  position_ = std::clamp(value, min_, max_);
  const QString text = QString::number(position_);
  if (associate_ && associate_->text() != text) associate_->setText(text);
}

void TUpDown::Step(int delta) {
  if (associate_) {
    bool ok = false;
    const int typed = associate_->text().trimmed().toInt(&ok);
    if (ok) position_ = std::clamp(typed, min_, max_);
  }
  const long next = static_cast<long>(position_) + delta;
  SetPosition(static_cast<int>(std::clamp<long>(next, min_, max_)));
}

// ---- TGradientProgressBar ----

TGradientProgressBar::TGradientProgressBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setValue(0);
  setTextVisible(true);
  setMinimumHeight(fontMetrics().height() + 6);
}

void TGradientProgressBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect frame = rect().adjusted(0, 0, -1, -1);
  p.setPen(palette().color(QPalette::Mid));
  p.setBrush(palette().color(QPalette::Base));
  p.drawRect(frame);

  const QRect inner = frame.adjusted(2, 2, -1, -1);
  const long span = static_cast<long>(maximum()) - minimum();
  const long done = std::clamp<long>(static_cast<long>(value()) - minimum(), 0, span);
  int w = 0;
  if (span > 0 && done > 0) {
    w = static_cast<int>(inner.width() * done / span);
    // The gradient spans the whole bar, so the colour tells how far the work has got.
    QLinearGradient g(inner.topLeft(), inner.topRight());
    g.setColorAt(0.0, QColor(0, 0, 255));
    g.setColorAt(1.0, QColor(255, 0, 0));
    p.fillRect(QRect(inner.left(), inner.top(), w, inner.height()), g);
  }
  // The percentage in white over the filled part, in the text colour over the rest.
  const int percent = span > 0 ? static_cast<int>(done * 100 / span) : 0;
  const QString text = QStringLiteral("%1%").arg(percent);
  const QRect filled(inner.left(), inner.top(), w, inner.height());
  p.save();
  p.setClipRect(filled);
  p.setPen(Qt::white);
  p.drawText(inner, Qt::AlignCenter, text);
  p.setClipRect(inner.adjusted(w, 0, 0, 0));
  p.setPen(palette().color(QPalette::Text));
  p.drawText(inner, Qt::AlignCenter, text);
  p.restore();
}

// ---- colours ----

QColor PlainColorToQColor(TColorValue value) {
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

TColorValue QColorToColorValue(const QColor& color) {
  return static_cast<TColorValue>(color.red()) | (static_cast<TColorValue>(color.green()) << 8) |
         (static_cast<TColorValue>(color.blue()) << 16);
}

QColor ResolveColor(TColorValue value, const QPalette& pal) {
  if ((value & 0xFF000000u) != 0x80000000u) return PlainColorToQColor(value);
  using R = QPalette::ColorRole;
  struct Entry {
    QPalette::ColorGroup group;
    R role;
  };
  constexpr auto A = QPalette::Active;
  constexpr auto I = QPalette::Inactive;
  constexpr auto D = QPalette::Disabled;
  // The classic system colour indexes, in order, mapped onto the palette's roles.
  static const std::array<Entry, 25> kRoles = {{
      {A, R::Button},           // scroll bar
      {A, R::Window},           // desktop background
      {A, R::Highlight},        // active caption
      {I, R::Highlight},        // inactive caption
      {A, R::Window},           // menu
      {A, R::Base},             // window
      {A, R::Shadow},           // window frame
      {A, R::WindowText},       // menu text
      {A, R::Text},             // window text
      {A, R::HighlightedText},  // caption text
      {A, R::Window},           // active border
      {I, R::Window},           // inactive border
      {A, R::Dark},             // application work space
      {A, R::Highlight},        // highlight
      {A, R::HighlightedText},  // highlight text
      {A, R::Button},           // button face
      {A, R::Dark},             // button shadow
      {D, R::Text},             // grey text
      {A, R::ButtonText},       // button text
      {I, R::HighlightedText},  // inactive caption text
      {A, R::Light},            // button highlight
      {A, R::Shadow},           // 3D dark shadow
      {A, R::Midlight},         // 3D light
      {A, R::ToolTipText},      // info text
      {A, R::ToolTipBase},      // info background
  }};
  const std::uint32_t index = value & 0x00FFFFFFu;
  if (index >= kRoles.size()) return QColor(0, 0, 0);
  const QColor c = pal.color(kRoles[index].group, kRoles[index].role);
  return QColor(c.red(), c.green(), c.blue());
}

// ---- TColorPickerButton ----

namespace {

// The drop-down palette: eight columns of familiar web colours, as 0xRRGGBB.
constexpr std::array<std::uint32_t, 40> kPaletteRgb = {
    0x000000, 0x993300, 0x333300, 0x003300, 0x003366, 0x000080, 0x333399, 0x333333,
    0x800000, 0xFF6600, 0x808000, 0x008000, 0x008080, 0x0000FF, 0x666699, 0x808080,
    0xFF0000, 0xFF9900, 0x99CC00, 0x339966, 0x33CCCC, 0x3366FF, 0x800080, 0x969696,
    0xFF00FF, 0xFFCC00, 0xFFFF00, 0x00FF00, 0x00FFFF, 0x00CCFF, 0x993366, 0xC0C0C0,
    0xFF99CC, 0xFFCC99, 0xFFFF99, 0xCCFFCC, 0xCCFFFF, 0x99CCFF, 0xCC99FF, 0xFFFFFF,
};

TColorValue FromRgb(std::uint32_t rgb) {
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

QIcon Swatch(const QColor& c, int w, int h) {
  QPixmap pm(w, h);
  pm.fill(c);
  QPainter p(&pm);
  p.setPen(Qt::black);
  p.drawRect(0, 0, w - 1, h - 1);
  return QIcon(pm);
}

}  // namespace

TColorPickerButton::TColorPickerButton(TColorValue defaultColor, QWidget* parent)
    : QToolButton(parent), default_(defaultColor), color_(defaultColor) {
  setPopupMode(QToolButton::InstantPopup);
  setIconSize(QSize(36, 12));
  setToolButtonStyle(Qt::ToolButtonIconOnly);

  auto* menu = new QMenu(this);
  QAction* def = menu->addAction(QStringLiteral("Choose color"));
  connect(def, &QAction::triggered, this, &TColorPickerButton::ChooseDefault);
  menu->setDefaultAction(def);
  menu->addSeparator();

  auto* grid = new QWidget(menu);
  auto* layout = new QGridLayout(grid);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->setSpacing(2);
  for (std::size_t i = 0; i < kPaletteRgb.size(); ++i) {
    const TColorValue value = FromRgb(kPaletteRgb[i]);
    auto* cell = new QToolButton(grid);
    cell->setAutoRaise(true);
    cell->setIcon(Swatch(PlainColorToQColor(value), 14, 14));
    cell->setIconSize(QSize(14, 14));
    connect(cell, &QToolButton::clicked, this, [this, value, menu] {
      menu->close();
      ChoosePalette(value);
    });
    layout->addWidget(cell, static_cast<int>(i / 8), static_cast<int>(i % 8));
  }
  auto* gridAction = new QWidgetAction(menu);
  gridAction->setDefaultWidget(grid);
  menu->addAction(gridAction);
  menu->addSeparator();
  QAction* more = menu->addAction(QStringLiteral("More colors"));
  connect(more, &QAction::triggered, this, &TColorPickerButton::ChooseMore);
  setMenu(menu);
  UpdateIcon();
}

void TColorPickerButton::SetColor(TColorValue value) {
  color_ = value;
  UpdateIcon();
}

void TColorPickerButton::ChooseDefault() {
  Pick(default_);
}

void TColorPickerButton::ChooseMore() {
  if (!ask_) return;
  const std::optional<QColor> c = ask_(ResolveColor(color_, palette()));
  if (c) Pick(QColorToColorValue(*c));
}

void TColorPickerButton::ChoosePalette(TColorValue value) {
  Pick(value);
}

void TColorPickerButton::Pick(TColorValue value) {
  SetColor(value);
  emit Changed();
}

void TColorPickerButton::UpdateIcon() {
  setIcon(Swatch(ResolveColor(color_, palette()), 36, 12));
}

// ---- THyperlinkLabel ----

THyperlinkLabel::THyperlinkLabel(const QString& url, const QString& text, QWidget* parent)
    : QLabel(parent) {
  setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), text.toHtmlEscaped()));
  setTextFormat(Qt::RichText);
  setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  setOpenExternalLinks(false);
  setCursor(Qt::PointingHandCursor);
  connect(this, &QLabel::linkActivated, this, &THyperlinkLabel::Open);
}

// ---- TDropList ----

TDropList::TDropList(QWidget* parent) : QListWidget(parent) {
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setDropIndicatorShown(false);
}

void TDropList::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TDropList::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TDropList::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasUrls()) return;
  QStringList paths;
  int notLocal = 0;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile())
      paths << url.toLocalFile();
    else
      ++notLocal;
  }
  event->acceptProposedAction();
  emit Dropped(paths, notLocal);
}

}  // namespace folivant
