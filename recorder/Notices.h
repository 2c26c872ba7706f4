#pragma once
// How the deck's routines that have no window of their own show a message: the main form
// answers with a message dialog (OK button), tests record the texts.
#include <functional>
#include <string>

enum class TNoticeKind { Warning, Error, Information };
using TNotify = std::function<void(TNoticeKind kind, const std::string& text)>;

// A question with Yes and No buttons, and Cancel when withCancel is set. Only Yes goes ahead.
enum class TQuestionKind { Warning, Confirmation };
enum class TAnswer { Yes, No, Cancel };
using TAsk = std::function<TAnswer(TQuestionKind kind, const std::string& text, bool withCancel)>;

// What the deck tells of a cart whose file is no longer on disk.
inline std::string FileGoneText(const std::string& path) {
  return "Sorry, it appears this file " + path + " is no longer available.";
}
