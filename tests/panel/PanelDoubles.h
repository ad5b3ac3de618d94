// Stand-ins for what the panel talks to: answered file dialogs, a recorder of
// message boxes, a sound library for a machine without a sound card, and a
// desktop with or without a PDF viewer.
#pragma once

#include <QFileInfo>
#include <QList>
#include <QString>
#include <QStringList>

#include <deque>
#include <string>
#include <vector>

#include "DialogKeys.h"
#include "IDesktopOpener.h"
#include "IFileDialogs.h"
#include "IOperatorReport.h"
#include "FakeAudioLibrary.h"

class CAnsweredFileDialogs : public IFileDialogs {
public:
    struct Shown {
        bool save;
        CFileDialogRequest request;
    };
    // Each dialog takes the next answer; an empty answer (or none left) cancels.
    std::deque<QString> answers;
    std::vector<Shown> shown;

    QString GetOpenPath(QWidget*, const CFileDialogRequest& request) override { return Next(false, request); }
    QString GetSavePath(QWidget*, const CFileDialogRequest& request) override { return Next(true, request); }

private:
    QString Next(bool save, const CFileDialogRequest& request)
    {
        shown.push_back({save, request});
        if (answers.empty())
            return QString();
        QString answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

class CRecordedReport : public IOperatorReport {
public:
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;  // for the questions; No when none is left

    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool AskYesNo(const std::string& text) override
    {
        questions.push_back(text);
        if (answers.empty())
            return false;
        bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Clear()
    {
        messages.clear();
        questions.clear();
        answers.clear();
    }
};

// The audio library of the panel tests, its calls as a list to compare.
class CSilentSonvox : public CFakeAudioLibrary {
public:
    QStringList Calls() const
    {
        QStringList list;
        for (const std::string& c : calls)
            list << QString::fromStdString(c);
        return list;
    }
};

class CTestDesktop : public IDesktopOpener {
public:
    bool hasViewer = true;
    QStringList opened;
    bool HasPdfViewer() override { return hasViewer; }
    bool OpenDocument(const QString& path, const QString&) override
    {
        opened << path;
        return true;
    }
};
