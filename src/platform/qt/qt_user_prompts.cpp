#include "platform/qt/qt_user_prompts.h"

#include <QApplication>
#include <QMessageBox>

namespace qv::platform {

namespace {

QString qtext(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Boxes belong to the active window so they stay in front of it.
QWidget* owner() { return QApplication::activeWindow(); }

}  // namespace

void QtUserPrompts::notice(std::string_view text) {
  QMessageBox::information(owner(), qtext(title_), qtext(text), QMessageBox::Ok);
}

bool QtUserPrompts::askYesNo(std::string_view caption, std::string_view text) {
  return QMessageBox::question(owner(), qtext(caption), qtext(text), QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::Yes) == QMessageBox::Yes;
}

void QtUserPrompts::error(std::string_view text) {
  QMessageBox::critical(owner(), qtext(title_), qtext(text), QMessageBox::Ok);
}

}  // namespace qv::platform
