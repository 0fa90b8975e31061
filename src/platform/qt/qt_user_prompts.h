#pragma once
// UserPrompts as Qt message boxes.
#include "platform/user_prompts.h"

#include <QString>
#include <string>

class QWidget;

namespace qv::platform {

class QtUserPrompts final : public UserPrompts {
public:
  // title: the application title, the caption of notices and error boxes.
  explicit QtUserPrompts(std::string title) : title_(std::move(title)) {}
  void notice(std::string_view text) override;
  bool askYesNo(std::string_view caption, std::string_view text) override;
  void error(std::string_view text) override;

private:
  std::string title_;
};

}  // namespace qv::platform
