#pragma once
// How the deck's routines that have no window of their own show a message: the main form
// answers with a message dialog (OK button), tests record the texts.
#include <functional>
#include <string>

enum class TNoticeKind { Warning, Error, Information };
using TNotify = std::function<void(TNoticeKind kind, const std::string& text)>;
