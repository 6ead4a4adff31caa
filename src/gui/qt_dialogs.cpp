#include "gui/qt_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <vector>

namespace kovo::gui {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) {
  return text.toUtf8().toStdString();
}

std::vector<std::string_view> SplitBars(std::string_view text) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t bar = text.find('|', start);
    const size_t end = bar == std::string_view::npos ? text.size() : bar;
    parts.push_back(text.substr(start, end - start));
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return parts;
}

}  // namespace

std::string QtFileFilter(std::string_view filter) {
  std::string out;
  const std::vector<std::string_view> parts = SplitBars(filter);
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() && parts[i + 1].empty()) continue;
    std::string patterns(parts[i + 1]);
    for (char& c : patterns) {
      if (c == ';') c = ' ';
    }
    if (!out.empty()) out += ";;";
    out.append(parts[i]);
    out += " (" + patterns + ")";
  }
  return out;
}

bool DialogsCannotBeShown() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return true;
  return QGuiApplication::platformName() == QStringLiteral("offscreen");
}

int QtDialogs::DefaultAnswer(unsigned style) {
  const unsigned buttons = style & kMbButtonsMask;
  return buttons == kMbYesNo || buttons == kMbYesNoCancel ? kIdYes : kIdOk;
}

int QtDialogs::MessageBox(std::string_view text, std::string_view caption, unsigned style) {
  if (DialogsCannotBeShown()) {
    // Written with a literal format: the texts are the user's.
    std::fprintf(stderr, "[message box] %.*s: %.*s\n", static_cast<int>(caption.size()),
                 caption.data(), static_cast<int>(text.size()), text.data());
    return DefaultAnswer(style);
  }
  QMessageBox box;
  box.setWindowTitle(ToQt(caption));
  box.setText(ToQt(text));
  switch (style & 0xF0u) {
    case kMbIconError:
      box.setIcon(QMessageBox::Critical);
      break;
    case kMbIconQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case kMbIconWarning:
      box.setIcon(QMessageBox::Warning);
      break;
    case kMbIconInformation:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  switch (style & kMbButtonsMask) {
    case kMbOkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      break;
    case kMbYesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    case kMbYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return kIdYes;
    case QMessageBox::No:
      return kIdNo;
    case QMessageBox::Cancel:
      return kIdCancel;
    case QMessageBox::Ok:
      return kIdOk;
    default:
      // Closed with Escape or the title bar: Cancel where there is one.
      return (style & kMbButtonsMask) == kMbOk || (style & kMbButtonsMask) == kMbYesNo
                 ? DefaultAnswer(style)
                 : kIdCancel;
  }
}

void QtDialogs::MessageBeep(unsigned /*type*/) {
  if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

bool QtDialogs::ChooseColor(uint32_t& color) {
  if (DialogsCannotBeShown()) {
    // Scripted runs without a screen name the colour, "RRGGBB"; otherwise it is a cancel.
    bool ok = false;
    const uint32_t rgb = QString::fromLatin1(qgetenv("KOVO_CHOOSE_COLOR")).toUInt(&ok, 16);
    if (!ok || rgb > 0xFFFFFF) return false;
    color = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
    return true;
  }
  const QColor start(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                     static_cast<int>((color >> 16) & 0xFF));
  const QColor picked = QColorDialog::getColor(start);
  if (!picked.isValid()) return false;
  color = static_cast<uint32_t>(picked.red()) | (static_cast<uint32_t>(picked.green()) << 8) |
          (static_cast<uint32_t>(picked.blue()) << 16);
  return true;
}

bool QtDialogs::ChooseFont(FontChoice& font) {
  if (DialogsCannotBeShown()) return false;
  QFont start(ToQt(font.face));
  if (font.pointSize > 0) start.setPointSize(font.pointSize);
  start.setBold(font.bold);
  start.setItalic(font.italic);
  bool ok = false;
  const QFont picked = QFontDialog::getFont(&ok, start);
  if (!ok) return false;
  font.face = FromQt(picked.family());
  font.pointSize = picked.pointSize();
  font.bold = picked.bold();
  font.italic = picked.italic();
  return true;
}

bool QtDialogs::ChooseOpenFile(std::string_view title, std::string_view filter, std::string& path) {
  if (DialogsCannotBeShown()) {
    // Scripted runs without a screen name the file to open; otherwise it is a cancel.
    const QByteArray scripted = qgetenv("KOVO_OPEN_FILE");
    if (scripted.isEmpty()) return false;
    path = scripted.toStdString();
    return true;
  }
  const QString picked =
      QFileDialog::getOpenFileName(nullptr, ToQt(title), ToQt(path), ToQt(QtFileFilter(filter)));
  if (picked.isEmpty()) return false;
  path = FromQt(picked);
  return true;
}

bool QtDialogs::ChooseSaveFile(std::string_view title, std::string_view filter, std::string& path) {
  if (DialogsCannotBeShown()) {
    const QByteArray scripted = qgetenv("KOVO_SAVE_FILE");
    if (scripted.isEmpty()) return false;
    path = scripted.toStdString();
    return true;
  }
  const QString picked =
      QFileDialog::getSaveFileName(nullptr, ToQt(title), ToQt(path), ToQt(QtFileFilter(filter)));
  if (picked.isEmpty()) return false;
  path = FromQt(picked);
  return true;
}

}  // namespace kovo::gui
