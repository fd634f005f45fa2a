// A prompt for tests: answers come from queues filled beforehand, every text
// shown is recorded, nothing ever blocks. An empty queue answers No, Cancel.
#pragma once

#include "Prompt.h"

#include <QList>
#include <QStringList>

#include <deque>

namespace vistrel {

class TScriptedPrompt : public TPrompt {
public:
    // Queued answers, taken front first.
    std::deque<bool> Answers;                       // Question
    std::deque<QString> OpenAnswers;                // OpenFile (empty = cancel)
    std::deque<QString> SaveAnswers;                // SaveFile (empty = cancel)
    std::deque<std::optional<QString>> DirAnswers;  // PickDirectory

    // What was shown, in order.
    QStringList Messages;
    QStringList Questions;
    QStringList Errors;
    QList<TFileDialogSettings> OpenRequests;
    QList<TFileDialogSettings> SaveRequests;
    int PickDirectoryCalls = 0;
    // Every call as "Message: text", "Question: text", "Error: text",
    // "Open: name", "Save: name", "PickDirectory".
    QStringList Log;

    void Message(const QString& text) override {
        Messages << text;
        Log << QStringLiteral("Message: ") + text;
    }
    bool Question(const QString& text) override {
        Questions << text;
        Log << QStringLiteral("Question: ") + text;
        return Take(Answers, false);
    }
    void ErrorBox(const QString& text) override {
        Errors << text;
        Log << QStringLiteral("Error: ") + text;
    }
    QString OpenFile(const TFileDialogSettings& settings) override {
        OpenRequests << settings;
        Log << QStringLiteral("Open: ") + settings.Name;
        return Take(OpenAnswers, QString());
    }
    QString SaveFile(const TFileDialogSettings& settings) override {
        SaveRequests << settings;
        Log << QStringLiteral("Save: ") + settings.Name;
        return Take(SaveAnswers, QString());
    }
    std::optional<QString> PickDirectory() override {
        ++PickDirectoryCalls;
        Log << QStringLiteral("PickDirectory");
        std::optional<QString> answer;
        if (!DirAnswers.empty()) {
            if (DirAnswers.front()) answer.emplace(*DirAnswers.front());
            DirAnswers.pop_front();
        }
        return answer;
    }

private:
    template <class T>
    static T Take(std::deque<T>& queue, T fallback) {
        if (queue.empty()) return fallback;
        T value = std::move(queue.front());
        queue.pop_front();
        return value;
    }
};

}  // namespace vistrel
