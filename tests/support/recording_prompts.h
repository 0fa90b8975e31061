#pragma once
// User prompts for tests: records every notice, question ("caption|text") and error, and
// answers questions with answerYes, after running whileAsking as if the question were open.
#include "platform/user_prompts.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::test {

class RecordingPrompts final : public platform::UserPrompts {
public:
  explicit RecordingPrompts(bool answer = false) : answerYes(answer) {}

  void notice(std::string_view text) override { notices.emplace_back(text); }
  bool askYesNo(std::string_view caption, std::string_view text) override {
    questions.emplace_back(std::string(caption) + "|" + std::string(text));
    if (whileAsking) whileAsking();
    return answerYes;
  }
  void error(std::string_view text) override { errors.emplace_back(text); }

  bool answerYes;
  std::function<void()> whileAsking;  // runs while the question is open
  std::vector<std::string> notices;
  std::vector<std::string> questions;
  std::vector<std::string> errors;
};

}  // namespace qv::test
