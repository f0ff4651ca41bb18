// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <chrono>

namespace krv {

// A later start's way to the companion that runs already, which each system gives in its own way (a
// local socket on Linux, a window message on Windows). The asking itself is the same everywhere: the
// running companion may still be starting, so it is asked again until it answers or the bound passes;
// one that takes the question but never answers is stopped or hung.
class RunningCompanionChannel {
public:
    static constexpr std::chrono::milliseconds AnswerBound{3000};

    virtual ~RunningCompanionChannel() = default;

    // Asks the running companion to show its window. True when it did; false when it did not answer
    // within `bound`, and then `error` says so in one line: "the running companion (process N) does
    // not answer", why when it is known, and where it holds its place.
    bool askToShowWindow(QString& error, std::chrono::milliseconds bound = AnswerBound);

protected:
    enum class Answer {
        NotListening, // nothing takes the question (yet)
        Shown,        // it showed its window and said so
        Silent,       // it took the question but gave no answer within the channel's own bound
    };
    // One question, bounded by the channel.
    virtual Answer askOnce() = 0;
    // The running companion's process id, 0 when it cannot be known.
    virtual qint64 processId() = 0;
    // Where the running companion holds its place, for the message ("its lock is …"), given the last answer.
    virtual QString holding(Answer last) = 0;
};

} // namespace krv
