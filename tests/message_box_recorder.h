// Answers every message box while it lives and records the texts shown, in order. A plain
// message (OK only) is answered IDOK; a question gets `answer`, which a test may change.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/win32/message_box.h"

namespace qvtest {

class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int questionAnswer = IDOK) : answer(questionAnswer) {
        m_previous = qv::SetMessageBoxHandler([this](const std::string& text, const std::string&, unsigned type) {
            shown.push_back(text);
            return (type & 0xF) == MB_OK ? IDOK : answer;
        });
    }
    ~MessageBoxRecorder() { qv::SetMessageBoxHandler(m_previous); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<std::string> shown;
    int answer;

private:
    qv::MessageBoxHandler m_previous;
};

}  // namespace qvtest
