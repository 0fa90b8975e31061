#pragma once
// Message boxes shown to the user: plain notices with the application title and one OK
// button, yes/no questions with their own caption, and the error box for an error that
// escaped a handler. Windows and procedures reach them through this interface so that a
// test can answer in place of the user.
#include <string_view>

namespace qv::platform {

class UserPrompts {
public:
  virtual ~UserPrompts() = default;
  // A plain notice: caption = application title, one OK button. Returns when closed.
  virtual void notice(std::string_view text) = 0;
  // A Yes/No question; true only when the answer was Yes.
  virtual bool askYesNo(std::string_view caption, std::string_view text) = 0;
  // The error box: caption = application title, error icon, one OK button.
  virtual void error(std::string_view text) = 0;
};

}  // namespace qv::platform
