// A dialog provider for tests: records every message and answers from a
// queue (or with the default button when the queue is empty). Installing it
// is scoped: the previous provider comes back when it goes out of scope.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/system/Dialogs.h"

namespace dv::test {

struct ShownMessage {
    std::string Text;
    TMsgDlgType Type;
    TMsgDlgButtons Buttons;
};

class ScriptedDialogs : public IDialogProvider {
public:
    ScriptedDialogs() { FPrevious = SetDialogProvider(this); }
    ~ScriptedDialogs() override { SetDialogProvider(FPrevious); }

    // Answers for the next message boxes, in order.
    void Answer(int result) { FAnswers.push_back(result); }
    // Next file dialogs: a name accepts, an empty string cancels.
    void ChooseFile(const std::string& name) { FFiles.push_back(name); }

    std::vector<ShownMessage> Messages;
    std::vector<TFileDialogRequest> FileDialogs;

    std::string LastText() const { return Messages.empty() ? std::string() : Messages.back().Text; }

    int MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons, int) override {
        Messages.push_back({msg, type, buttons});
        if (FAnswers.empty()) return DefaultResult(buttons);
        int r = FAnswers.front();
        FAnswers.pop_front();
        return r;
    }
    bool OpenFileDialog(TFileDialogRequest& req) override { return Pick(req); }
    bool SaveFileDialog(TFileDialogRequest& req) override { return Pick(req); }

private:
    bool Pick(TFileDialogRequest& req) {
        FileDialogs.push_back(req);
        if (FFiles.empty()) return false;
        std::string f = FFiles.front();
        FFiles.pop_front();
        if (f.empty()) return false;
        req.FileName = f;
        return true;
    }

    IDialogProvider* FPrevious = nullptr;
    std::deque<int> FAnswers;
    std::deque<std::string> FFiles;
};

}  // namespace dv::test
