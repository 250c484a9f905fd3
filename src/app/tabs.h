// The window's six tabs. Each builds its controls with the objectNames the tests and the
// settings binding use, and shows what is its own; the window wires them to what it holds.
#pragma once

#include <QWidget>
#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "app/wizard_tab.h"

class QAction;
class QHBoxLayout;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace folivant {

class TColorPickerButton;
class TDropList;
class TGradientProgressBar;

// Select Files: the picture list, its buttons and the preview of the selected picture.
class TFilesTab : public TWizardTab {
 public:
  TFilesTab();
  QHBoxLayout* AlbumRow();
  TDropList* List = nullptr;
  QAction* RemoveKey = nullptr;  // Delete on the list
  QPushButton* SelectButton = nullptr;
  QPushButton* AddButton = nullptr;
  QPushButton* AddFolderButton = nullptr;
  QCheckBox* AlbumsCheck = nullptr;  // a folder added or dropped: its sub-folders become albums
  QComboBox* SortCombo = nullptr;    // the order of an album's pictures
  QPushButton* MoveUpButton = nullptr;
  QPushButton* MoveDownButton = nullptr;
  QPushButton* SortButton = nullptr;
  QPushButton* RemoveButton = nullptr;
  QPushButton* RemoveAllButton = nullptr;
  QLabel* PreviewImage = nullptr;
  QLabel* PreviewCaption = nullptr;
  QLabel* ItemsCount = nullptr;
};

// General Options: target folder, background, title, meta tags, colours and captions.
class TGeneralTab : public TWizardTab {
 public:
  TGeneralTab();
  // Paints the colour preview with the pickers' colours, system colours taken from palette.
  void ShowColors(const QPalette& palette);
  QLineEdit* TargetEdit = nullptr;
  QPushButton* TargetButton = nullptr;
  QLineEdit* BackgroundEdit = nullptr;
  QPushButton* BackgroundButton = nullptr;
  // Background, link, active link, visited link.
  std::array<TColorPickerButton*, 4> Pickers{};

 private:
  QWidget* colorPreview_ = nullptr;
  std::array<QLabel*, 3> linkSamples_{};
};

// Table Options: rows, columns, border, cell spacing, alignment, and the page count.
class TTableTab : public TWizardTab {
 public:
  TTableTab();
  // The pictures and pages the table makes of count pictures, or the field that is no number
  // the build would take.
  void ShowPageCount(std::size_t count);
  // "left", "center", "right", or empty for the browser's default.
  std::string Alignment() const;
  QLineEdit* RowsEdit = nullptr;
  QLineEdit* ColumnsEdit = nullptr;

 private:
  QLabel* pageCount_ = nullptr;
  QButtonGroup* alignment_ = nullptr;
};

// Image Options: thumbnail size, JPEG quality, filter, right-click protection, pop-ups.
class TImageTab : public TWizardTab {
 public:
  TImageTab();
  bool FixedWidth() const;
  QLineEdit* QualityEdit = nullptr;
  QComboBox* FilterCombo = nullptr;
  QCheckBox* ProtectCheck = nullptr;
  QLineEdit* AlertEdit = nullptr;

 private:
  void FitTo(bool width);
  QRadioButton* heightButton_ = nullptr;
  QRadioButton* widthButton_ = nullptr;
  QLineEdit* heightEdit_ = nullptr;
  QLineEdit* widthEdit_ = nullptr;
};

// Header/Footer: the HTML put above and below every page's table.
class THeaderTab : public TWizardTab {
 public:
  THeaderTab();
  std::vector<std::string> HeaderLines() const;
  std::vector<std::string> FooterLines() const;

 private:
  QPlainTextEdit* header_ = nullptr;
  QPlainTextEdit* footer_ = nullptr;
};

// Build: progress, the end summary with the way to what was made, and the build's buttons.
class TBuildTab : public QWidget {
 public:
  TBuildTab();
  TGradientProgressBar* FileProgress = nullptr;
  TGradientProgressBar* OverallProgress = nullptr;
  QCheckBox* ShowInBrowserCheck = nullptr;
  QPushButton* QuitButton = nullptr;
  QPushButton* AboutButton = nullptr;
  QPushButton* CancelButton = nullptr;
  QPushButton* BuildButton = nullptr;
  QLabel* SummaryLabel = nullptr;
  QPushButton* OpenCatalogButton = nullptr;
  QPushButton* OpenFolderButton = nullptr;
};

}  // namespace folivant
